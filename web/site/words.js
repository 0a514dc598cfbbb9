// What the page says about a file, in words for people who have only the
// page: the same facts as the command-line tools' lines (which track, which
// block, which byte, how many), without their command lines and terms. The
// facts come from the library (glue/problems.hpp), and the words are keyed
// by the library's machine names (error_name, change_name), which stay the
// same whatever happens to its English texts:
//   REFUSALS      why a file is refused: every fault's name, of packing,
//                 reading, checking, converting and unpacking alike
//   CHANGES       what packing changed in a file, or packed as it is
//   TRACK_FAULTS  why a track does not read as MIDI events
// A test checks that every name the library has is in one of them.

import {bytesText, count} from './numbers.js';

function list(numbers) {
  return numbers.map(count).join(', ');
}

const STRICT = ' It is refused because “Strict” is on; without it, the file is packed and this is left out.';

const TRACK_FAULTS = {
  delta_too_long: 'a time step is longer than the 4 bytes a MIDI file allows',
  length_too_long: 'a length is longer than the 4 bytes a MIDI file allows',
  data_byte_high_bit: 'a note or setting has a value out of range',
  running_status_without_status: 'a value stands where a message should begin',
  undefined_status: 'a message of a kind that does not exist',
  event_past_end: 'the last message runs past the end of the track',
  missing_end_of_track: 'the track has no end mark',
  bytes_after_end_of_track: 'more bytes follow the track’s end mark',
  meta_event_unreadable: 'a text or setting message is too short to read, or names no key',
};

// A track's fault ({name, offset}) in words.
export function faultText(fault) {
  return TRACK_FAULTS[fault.name] || 'a fault this page has no words for (' + fault.name + ')';
}

function trackFaultText(fact) {
  return 'track ' + fact.track + ' is damaged at byte ' + count(fact.fault.offset) + ': ' +
         faultText(fact.fault);
}

function tagText(tag) {
  return '“' + tag + '”';
}

// The MIDI file in a container whose blocks are sound: what is wrong with
// its music (a track_fault or midi_header fact).
function musicText(f) {
  if (f.kind === 'track_fault') return 'In the music of this container, ' + trackFaultText(f) + '.';
  if (f.problem === 'length') {
    return 'The MIDI file in this container gives its header a length of ' + bytesText(f.value) +
           ' instead of 6, which players cannot follow.';
  }
  return 'The MIDI file in this container is of format ' + f.value + '; only formats 0, 1 and 2 ' +
         'exist.';
}

const REFUSALS = {
  // Packing, and reading a MIDI file (its names are packing's too).
  not_midi: () => 'This is neither a MIDI file nor an MThc container, so there is nothing to convert.',
  header_too_short: (f) => 'This MIDI file is damaged: its header is ' + bytesText(f.value) +
      ' long, shorter than the 6 bytes it needs.',
  chunk_past_end: () => 'This MIDI file is cut short: it ends inside its header.',
  too_many_tracks: (f) => f.chunk_count > f.max_track_count
      ? 'This MIDI file has too many tracks: ' + count(f.chunk_count) + ', more than the ' +
        count(f.max_track_count) + ' a MIDI file can count.'
      : 'This MIDI file has too many tracks for a container: track ' + count(f.value) +
        ' holds music, but a container keeps music only in tracks 0 to ' +
        count(f.max_track_with_data) + '.',
  too_much_data: (f) => 'This MIDI file is too large for a container: its ' + bytesText(f.value) +
      ' of music do not fit in 255 blocks. A container holds at most ' +
      bytesText(f.max_track_data) + ' of music, less when the music does not compress well.',
  out_of_memory: (f) => 'The browser ran out of memory while ' +
      ({pack: 'packing this file.', conversion: 'unpacking this container.'}[f.kind] ||
       'reading this file.'),
  internal_error: () => 'Packing this file failed a check of the packer’s own work: this is ' +
      'a fault of the page, not of the file, and nothing was made of it.',
  riff_wrapper: () => 'This MIDI file is wrapped in a RIFF (RMID) file, which a container ' +
      'does not keep: it would not come back as it is.' + STRICT,
  header_length: (f) => f.kind === 'midi_header' ? musicText(f)
      : 'This MIDI file’s header is ' + bytesText(f.value) + ' long instead of 6: the extra ' +
        'bytes would not come back.' + STRICT,
  foreign_chunk: (f) => 'This MIDI file holds a section that is not a track (' + tagText(f.tag) +
      ', at byte ' + count(f.offset) + '), which a container does not keep.' + STRICT,
  trailing_bytes: (f) => 'This MIDI file has ' + bytesText(f.value) + ' after its last ' +
      'section (from byte ' + count(f.offset) + '), which would not come back.' + STRICT,
  track_count_mismatch: (f) => 'This MIDI file’s header says it has ' + count(f.value) +
      ' tracks, but it holds ' + count(f.chunk_count) + '.' + STRICT,
  missing_end_of_track: (f) => 'Track ' + f.track + ' of this MIDI file has no end mark.' + STRICT,
  bytes_after_end_of_track: (f) => 'Track ' + f.track + ' of this MIDI file has ' +
      bytesText(f.value) + ' after its end mark.' + STRICT,
  end_of_track_cut_short: (f) => 'The end mark of track ' + f.track + ' of this MIDI file is ' +
      'cut short.' + STRICT,
  event_cut_short: (f) => 'Track ' + f.track + ' of this MIDI file ends in the middle of a ' +
      'message.' + STRICT,
  track_cut_by_end_of_file: (f) => 'This MIDI file is cut short: track ' + f.track + ' runs ' +
      bytesText(f.value) + ' past the end of the file.' + STRICT,
  empty_track: (f) => 'Track ' + f.track + ' of this MIDI file is empty; it would come back ' +
      'holding an end mark.' + STRICT,
  unknown_format: (f) => f.kind === 'midi_header' ? musicText(f)
      : 'This MIDI file is of format ' + f.value + '; only formats 0, 1 and 2 exist.' + STRICT,
  track_unreadable: (f) => f.kind === 'track_fault' ? musicText(f) + ' Players may stop there.'
      : 'In this MIDI file, ' + trackFaultText(f.fault) + '.' + STRICT,
  too_large: (f) => 'This file is too large (' + bytesText(f.size) + ') to be a container or a ' +
      'MIDI file that fits one: a container holds at most ' + bytesText(f.max_track_data) +
      ' of music.',
  // A block over 65,535 bytes, which the page's packing never hands the coder.
  block_too_large: () => 'A piece of this file is too large to pack.',

  // A container's tags.
  too_small: () => 'This file is too small to be an MThc container.',
  not_mthc: () => 'This is not an MThc container.',
  missing_mthp_tag: () => 'This file starts like an MThc container but is not one: the mark ' +
      'that every container has at byte 10 is missing.',

  // Its blocks and records.
  size_mismatch: (f) => 'This container is damaged: block ' + f.block + ' unpacks to ' +
      bytesText(f.decoded) + ', but should hold ' + bytesText(f.declared) + '.',
  stray_record: (f) => 'This container is damaged: piece ' + f.record + ' of block ' + f.block +
      (f.crosses_block_end ? ' runs past the end of its block.'
                           : ' holds music for a track that does not exist.'),
  missing_blocks: (f) => f.cut_short
      ? 'This container is cut short: it should have ' + count(f.declared) + ' blocks, but the ' +
        'file ends inside block ' + f.present + '.'
      : 'This container is incomplete: it should have ' + count(f.declared) + ' blocks, but ' +
        'holds only ' + count(f.present) + '.',

  // Converting it.
  stream_too_large: () => 'This container is damaged: its blocks unpack to more than 64 MiB, ' +
      'more than any container holds.',
  stream_invalid: () => 'This container is damaged: what its blocks unpack to is too short, ' +
      'or does not start as it should.',
  tracks_too_large: () => 'This container is damaged: its tracks add up to more than 64 MiB, ' +
      'more than any container holds.',

  // Unpacking and listing, in general: what the page says when the library
  // knows more than the page has words for.
  not_a_container: () => 'This is not an MThc container.',
  damaged: () => 'This container is damaged.',
  conversion_failed: () => 'This container could not be unpacked.',
  midi_header_unreadable: () => 'The MIDI file in this container has a header that players ' +
      'cannot follow.',
};

const CHANGES = {
  riff_unwrapped: () => 'The MIDI file is taken out of its RIFF (RMID) wrapper: the container ' +
      'keeps only the MIDI file inside.',
  header_bytes_dropped: (f) => 'The file’s header is longer than usual: its last ' +
      bytesText(f.value) + ' are left out.',
  chunk_dropped: (f) => (f.count === 1 ? 'A section that is not a track (' :
      count(f.count) + ' sections that are not tracks (the first ') + tagText(f.tag) + ', ' +
      bytesText(f.value) + ' at byte ' + count(f.offset) + ') ' +
      (f.count === 1 ? 'is' : 'are') + ' left out: a container keeps only the tracks.',
  trailing_bytes_ignored: (f) => 'The ' + bytesText(f.value) + ' after the last section (from ' +
      'byte ' + count(f.offset) + ') are left out.',
  track_count_corrected: (f) => 'The file’s header says it has ' + count(f.value) + ' tracks, ' +
      'but it holds ' + count(f.chunk_count) + ': the container counts ' + count(f.chunk_count) +
      '.',
  end_of_track_added: (f) => (f.count === 1 ? 'Track ' + f.track + ' has' :
      count(f.count) + ' tracks have') + ' no end mark; one is added' +
      (f.count === 1 ? '.' : ' to each (the first: track ' + f.track + ').'),
  bytes_after_end_of_track_dropped: (f) => f.count === 1
      ? 'The ' + bytesText(f.value) + ' after the end mark of track ' + f.track + ' are left out.'
      : count(f.count) + ' tracks have bytes after their end mark, which are left out (the ' +
        'first: track ' + f.track + ', ' + bytesText(f.value) + ').',
  end_of_track_completed: (f) => f.count === 1
      ? 'The end mark of track ' + f.track + ' is cut short; the ' + bytesText(f.value) +
        ' it lacks are added.'
      : count(f.count) + ' tracks have their end mark cut short; it is completed (the first: ' +
        'track ' + f.track + ').',
  partial_event_dropped: (f) => f.count === 1
      ? 'Track ' + f.track + ' ends in the middle of a message, whose ' + bytesText(f.value) +
        ' are left out; an end mark is added.'
      : count(f.count) + ' tracks end in the middle of a message, which is left out, and get ' +
        'an end mark (the first: track ' + f.track + ').',
  track_cut_by_end_of_file: (f) => 'The file ends ' + bytesText(f.value) + ' short of the end ' +
      'of track ' + f.track + ': the track keeps its whole messages and gets an end mark.',
  // What packing warns of besides its changes: packed, but not as it was.
  empty_track: (f) => f.count === 1
      ? 'Track ' + f.tracks[0] + ' is empty; it will come back holding only its end mark.'
      : count(f.count) + ' tracks are empty (' + list(f.tracks) +
        (f.count > f.tracks.length ? ', …' : '') +
        '); they will come back holding only their end marks.',
  unknown_format: (f) => 'This MIDI file is of format ' + f.format + '; only formats 0, 1 and 2 ' +
      'exist. It is packed as it is; the container will show the same fault when it is ' +
      'unpacked.',
  track_unreadable: (f) => 'In this MIDI file, ' + trackFaultText(f) + '. It is packed as it ' +
      'is; the container will show the same fault when it is unpacked.',
};

// For the test that every name of the library has words here.
export const WORDS = {refusals: REFUSALS, changes: CHANGES, trackFaults: TRACK_FAULTS};

// The name of the fault that refuses a file, from its fact; a fact that
// carries the name under another key says so by its kind.
function refusalName(f) {
  switch (f.kind) {
    case 'pack':
    case 'conversion':
      return f.error;
    case 'container_fault':
      return f.fault;
    case 'track_fault':
      return 'track_unreadable';
    case 'midi_header':
      return f.problem === 'length' ? 'header_length' : 'unknown_format';
    case 'out_of_memory_reading':
      return 'out_of_memory';
    default:
      return f.kind;
  }
}

// Where the library has a name that the page has no words for yet, the
// words of what it is a kind of.
const IN_GENERAL = {
  container_fault: 'not_a_container',
  conversion: 'conversion_failed',
  size_mismatch: 'damaged',
  stray_record: 'damaged',
  missing_blocks: 'damaged',
  midi_header: 'midi_header_unreadable',
};

// The sentence for why a file was refused.
export function errorText(f) {
  const words = REFUSALS[refusalName(f)] || REFUSALS[IN_GENERAL[f.kind]];
  if (words) return words(f);
  return 'This file could not be ' + (f.kind === 'pack' ? 'packed' : 'converted') + ' (' +
         refusalName(f) + ').';
}

// The sentence for a warning: a change packing made, or the fault of a file
// converted as it is.
export function warningText(f) {
  if (f.kind === 'unpacked_as_is') return 'Converted as it is stored. ' + musicText(f.fault);
  const words = CHANGES[f.kind === 'track_fault' ? 'track_unreadable' : f.kind];
  return words ? words(f) : 'The file was changed (' + f.kind + ').';
}

// What an error says, to stand in brackets in a sentence of the page's:
// without its own closing full stop.
export function reason(error) {
  const text = String(error && error.message ? error.message : error);
  return text.replace(/\s*\.$/, '');
}
