// What the page says about a file, in words for people who have only the
// page: the same facts as the command-line tools' lines (which track, which
// block, which byte, how many), without their command lines and terms. The
// facts come from the library (glue/problems.hpp); each kind has a sentence.

import {bytesText, count} from './numbers.js';

function list(numbers) {
  return numbers.map(count).join(', ');
}

const STRICT = ' It is refused because “Strict” is on; without it, the file is packed and this is left out.';

// A track's fault, as the library names it (track_error_text).
const TRACK_FAULTS = {
  'delta time longer than 4 bytes': 'a time step is longer than the 4 bytes a MIDI file allows',
  'SysEx or meta event length longer than 4 bytes':
      'a length is longer than the 4 bytes a MIDI file allows',
  'data byte with its top bit set': 'a note or setting has a value out of range',
  'data byte without a status before it': 'a value stands where a message should begin',
  'undefined status byte': 'a message of a kind that does not exist',
  'event runs past the end of the track': 'the last message runs past the end of the track',
  'no end-of-track event': 'the track has no end mark',
  'bytes after the end-of-track event': 'more bytes follow the track’s end mark',
  'meta event too short for its type, or a key signature of no key':
      'a text or setting message is too short to read, or names no key',
};

export function faultText(fault) {
  return TRACK_FAULTS[fault.text] || fault.text;
}

function trackFaultText(fact) {
  return 'track ' + fact.track + ' is damaged at byte ' + count(fact.fault.offset) + ': ' +
         faultText(fact.fault);
}

function tagText(tag) {
  return '“' + tag + '”';
}

const PACK_ERRORS = {
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
  out_of_memory: () => 'The browser ran out of memory while packing this file.',
  riff_wrapper: () => 'This MIDI file is wrapped in a RIFF (RMID) file, which a container ' +
      'does not keep: it would not come back as it is.' + STRICT,
  header_length: (f) => 'This MIDI file’s header is ' + bytesText(f.value) + ' long instead ' +
      'of 6: the extra bytes would not come back.' + STRICT,
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
  unknown_format: (f) => 'This MIDI file is of format ' + f.value + '; only formats 0, 1 and 2 ' +
      'exist.' + STRICT,
  track_unreadable: (f) => 'In this MIDI file, ' + trackFaultText(f.fault) + '.' + STRICT,
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
  unknown_format: (f) => 'This MIDI file is of format ' + f.format + '; only formats 0, 1 and 2 ' +
      'exist. It is packed as it is; the container will show the same fault when it is ' +
      'unpacked.',
};

const CONTAINER_FAULTS = {
  too_small: 'This file is too small to be an MThc container.',
  not_mthc: 'This is not an MThc container.',
  missing_mthp_tag: 'This file starts like an MThc container but is not one: the mark that ' +
      'every container has at byte 10 is missing.',
};

const CONVERSION_ERRORS = {
  stream_too_large: 'This container is damaged: its blocks unpack to more than 64 MiB, more ' +
      'than any container holds.',
  stream_invalid: 'This container is damaged: what its blocks unpack to is too short, or does ' +
      'not start as it should.',
  tracks_too_large: 'This container is damaged: its tracks add up to more than 64 MiB, more ' +
      'than any container holds.',
  out_of_memory: 'The browser ran out of memory while unpacking this container.',
};

// What is wrong with the music of a container whose blocks are sound.
function musicText(f) {
  if (f.kind === 'track_fault') return 'In the music of this container, ' + trackFaultText(f) + '.';
  if (f.problem === 'length') {
    return 'The MIDI file in this container gives its header a length of ' + bytesText(f.value) +
           ' instead of 6, which players cannot follow.';
  }
  return 'The MIDI file in this container is of format ' + f.value + '; only formats 0, 1 and 2 ' +
         'exist.';
}

// The sentence for one fact (an error or a warning).
export function problemText(f) {
  switch (f.kind) {
    case 'pack':
      return (PACK_ERRORS[f.error] || (() => 'This file could not be packed (' + f.error + ').'))(f);
    case 'empty_tracks':
      return f.count === 1
          ? 'Track ' + f.tracks[0] + ' is empty; it will come back holding only its end mark.'
          : count(f.count) + ' tracks are empty (' + list(f.tracks) +
            (f.count > f.tracks.length ? ', …' : '') +
            '); they will come back holding only their end marks.';
    case 'track_fault':
      if (f.music) return musicText(f) + ' Players may stop there.';
      return 'In this MIDI file, ' + trackFaultText(f) + '. It is packed as it is; the ' +
             'container will show the same fault when it is unpacked.';
    case 'midi_header':
      return musicText(f);
    case 'unpacked_as_is':
      return 'Converted as it is stored. ' + musicText(f.fault);
    case 'container_fault':
      return CONTAINER_FAULTS[f.fault] || CONTAINER_FAULTS.not_mthc;
    case 'size_mismatch':
      return 'This container is damaged: block ' + f.block + ' unpacks to ' + bytesText(f.decoded) +
             ', but should hold ' + bytesText(f.declared) + '.';
    case 'stray_record':
      return 'This container is damaged: piece ' + f.record + ' of block ' + f.block +
             (f.crosses_block_end ? ' runs past the end of its block.'
                                  : ' holds music for a track that does not exist.');
    case 'missing_blocks':
      return f.cut_short
          ? 'This container is cut short: it should have ' + count(f.declared) + ' blocks, but ' +
            'the file ends inside block ' + f.present + '.'
          : 'This container is incomplete: it should have ' + count(f.declared) + ' blocks, but ' +
            'holds only ' + count(f.present) + '.';
    case 'conversion':
      return CONVERSION_ERRORS[f.error] || 'This container could not be unpacked.';
    case 'too_large':
      return 'This file is too large (' + bytesText(f.size) + ') to be a container or a MIDI ' +
             'file that fits one: a container holds at most ' +
             bytesText(f.max_track_data) + ' of music.';
    case 'out_of_memory_reading':
      return 'The browser ran out of memory while reading this file.';
    default:
      if (CHANGES[f.kind]) return CHANGES[f.kind](f);
      return 'Something went wrong (' + f.kind + ').';
  }
}

// What an error says, to stand in brackets in a sentence of the page's:
// without its own closing full stop.
export function reason(error) {
  const text = String(error && error.message ? error.message : error);
  return text.replace(/\s*\.$/, '');
}
