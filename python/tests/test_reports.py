"""Changes and faults as data: pack_report and unpack_report give what pack
and unpack warn of, without warnings, to each call its own (in threads and
processes too); mthc.Error carries the fault's name and place. The names
are the library's, kept from one version to the next: the tables below are
the promise."""

import concurrent.futures
import pickle
import re
import struct
import warnings

import pytest

import mthc
from samples import DAMAGED, ODD_FILES, SMF, TRACKS, Tool, chunk, with_track_count

# For each odd MIDI file: the kinds of lenient packing's changes, in order,
# and the kind of strict packing's error.
PACK_KINDS = {
    "riff": (["riff_unwrapped"], "riff_wrapper"),
    "trailing": (["trailing_bytes_ignored"], "trailing_bytes"),
    "foreign_chunk": (["chunk_dropped"], "foreign_chunk"),
    "track_count": (["track_count_corrected"], "track_count_mismatch"),
    "long_header": (["header_bytes_dropped"], "header_length"),
    "empty_tracks": (["empty_track"], "empty_track"),
    "cut_track": (["partial_event_dropped"], "event_cut_short"),
    "bad_status": (["track_unreadable"], "track_unreadable"),
    "several": (["track_count_corrected", "chunk_dropped", "trailing_bytes_ignored",
                 "empty_track"], "track_count_mismatch"),
}

# The damaged containers: the kind of unpack's (and check's) error.
UNPACK_KINDS = {
    "cut short": "missing_blocks",
    "block missing": "missing_blocks",
    "no MThp tag": "missing_mthp_tag",
    "a MIDI file": "not_mthc",
    "a track that does not read": "track_unreadable",
}


def named(text, word):
    """The number after the first "track " or "offset " of a text, or None."""
    match = re.search(rf"\b{word} ([0-9]+)", text)
    return int(match.group(1)) if match else None


def assert_placed_as_worded(kind, track, offset, text):
    """A fault's track and offset are the ones its text names."""
    if kind == "empty_track" and track is not None and named(text, "track") is None:
        # "2 tracks are empty (4, 5); ...": the first listed.
        assert text.split("(")[1].startswith(str(track)), text
    else:
        assert track == named(text, "track"), (track, text)
    assert offset == named(text, "offset"), (offset, text)


def no_warnings(function, *arguments, **options):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        result = function(*arguments, **options)
    assert not caught, [str(w.message) for w in caught]
    return result


@pytest.mark.parametrize("case", PACK_KINDS)
def test_pack_report_gives_as_data_what_pack_warns_of(tmp_path, case):
    data = ODD_FILES[case]
    kinds, strict_kind = PACK_KINDS[case]
    report = no_warnings(mthc.pack_report, data)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        container = mthc.pack(data)
    assert report.container == container == Tool(tmp_path, data, "-c").stdout
    assert [c.kind for c in report.changes] == kinds
    assert [c.text for c in report.changes] == [str(w.message) for w in caught]
    assert {w.filename for w in caught} == {__file__}, "warned from the caller's line"
    for change in report.changes:
        assert isinstance(change, mthc.Change)
        assert change.count >= 1
        assert_placed_as_worded(change.kind, change.track, change.offset, change.text)
    if case == "empty_tracks":
        change = report.changes[0]
        assert (change.track, change.offset, change.count) == (TRACKS, None, 2)

    with pytest.raises(mthc.Error) as raised:
        mthc.pack_report(data, strict=True)
    error = raised.value
    assert error.kind == strict_kind
    assert str(error) == Tool(tmp_path, data, "-c", "--strict").errors[0]
    assert_placed_as_worded(error.kind, error.track, error.offset, str(error))


def test_a_file_that_changes_nothing_reports_nothing():
    report = no_warnings(mthc.pack_report, SMF, strict=True)
    assert report.changes == () and report.container == mthc.pack(SMF)
    midi = no_warnings(mthc.unpack_report, report.container)
    assert midi == (SMF, ())


@pytest.mark.parametrize("case", UNPACK_KINDS)
def test_errors_carry_the_faults_name_and_place(tmp_path, case):
    data = DAMAGED[case]
    for function in (mthc.unpack, mthc.unpack_report, mthc.check):
        with pytest.raises(mthc.Error) as raised:
            function(data)
        error = raised.value
        assert (error.kind, str(error)) == (UNPACK_KINDS[case], Tool(tmp_path, data, "-t").errors[0])
        assert_placed_as_worded(error.kind, error.track, error.offset, str(error))
    if case == "a track that does not read":
        assert (error.track, error.offset) == (TRACKS, 5)


def test_unpack_report_gives_what_as_is_keeps(tmp_path):
    data = DAMAGED["a track that does not read"]
    report = no_warnings(mthc.unpack_report, data, as_is=True)
    assert report.midi == ODD_FILES["bad_status"]
    (change,) = report.changes
    assert change == mthc.Change("track_unreadable", TRACKS, 5, 1,
                                 Tool(tmp_path, data, "-t").errors[0])
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        assert mthc.unpack(data, as_is=True) == report.midi
    assert [(w.category, str(w.message)) for w in caught] == [(mthc.UnpackWarning, change.text)]


def test_files_refused_before_reading_are_named_too():
    cases = {
        "too_large": bytearray((64 << 20) + 1),
        "not_midi": b"RIFF but not a MIDI file",
        "too_small": b"MThc",
    }
    for kind, data in cases.items():
        functions = [mthc.pack_report, mthc.summary]
        if kind != "not_midi":
            functions += [mthc.unpack_report, mthc.check]
        for function in functions:
            if kind == "too_small" and function is mthc.pack_report:
                continue
            with pytest.raises(mthc.Error) as raised:
                function(data)
            assert (raised.value.kind, raised.value.track, raised.value.offset) == (kind, None,
                                                                                    None)


def test_errors_and_reports_cross_processes_whole():
    error = mthc.Error("track 3: undefined status byte at offset 7", "track_unreadable", 3, 7)
    back = pickle.loads(pickle.dumps(error))
    assert (type(back), str(back), back.kind, back.track, back.offset) == (
        mthc.Error, str(error), "track_unreadable", 3, 7)
    files = [ODD_FILES["several"], ODD_FILES["riff"], b"not MIDI"]
    with concurrent.futures.ProcessPoolExecutor(max_workers=2) as pool:
        futures = [pool.submit(mthc.pack_report, data, level="fast") for data in files]
        assert futures[0].result() == mthc.pack_report(files[0], level="fast")
        assert futures[1].result().changes == mthc.pack_report(files[1]).changes
        with pytest.raises(mthc.Error) as raised:
            futures[2].result()
    assert raised.value.kind == "not_midi"


def folder_of_odd_files(count):
    """MIDI files each with its own number of foreign chunks (1 to 7) and of
    empty tracks (0 to 4), as (file, chunks, empty tracks)."""
    files = []
    for i in range(count):
        chunks, empty = 1 + i % 7, i % 5
        data = SMF[:14] + chunk(b"XFIH", b"abc") * chunks + SMF[14:] + chunk(b"MTrk", b"") * empty
        files.append((with_track_count(data, TRACKS + empty), chunks, empty))
    return files


def test_a_thread_pool_gives_each_file_its_own_changes():
    folder = folder_of_odd_files(60)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        with concurrent.futures.ThreadPoolExecutor(max_workers=8) as pool:
            reports = list(pool.map(lambda f: mthc.pack_report(f[0], level="fast"), folder))
    assert not caught
    for (data, chunks, empty), report in zip(folder, reports):
        counts = {change.kind: change.count for change in report.changes}
        assert counts == {"chunk_dropped": chunks, **({"empty_track": empty} if empty else {})}
        assert report == mthc.pack_report(data, level="fast")
        assert struct.unpack(">H", mthc.unpack(report.container)[10:12])[0] == TRACKS + empty
