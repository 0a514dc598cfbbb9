"""A SoundFont made here for the page's tests: one instrument, one sample of
a sine wave at a frequency no note of the built-in synthesizer has, looped,
so that what plays through it is told apart in the spectrum of the sound.
Written as the SoundFont 2.01 format lays it out: a RIFF 'sfbk' of the
INFO, sdta (16-bit samples) and pdta (presets, instruments, samples) lists."""

import math
import struct

# Generator numbers.
INSTRUMENT = 41
RELEASE_VOLUME_ENVELOPE = 38
SAMPLE_ID = 53
SAMPLE_MODES = 54
OVERRIDING_ROOT_KEY = 58


def chunk(tag, data):
    pad = b"\0" if len(data) % 2 else b""
    return tag + struct.pack("<I", len(data)) + data + pad


def riff_list(kind, tag, chunks):
    return chunk(kind, tag + b"".join(chunks))


def text(value):
    """An INFO text: zero-terminated, of an even length."""
    data = value.encode("ascii") + b"\0"
    return data + b"\0" * (len(data) % 2)


def name(value, size=20):
    return value.encode("ascii")[:size - 1].ljust(size, b"\0")


def generators(pairs):
    return b"".join(struct.pack("<Hh", oper, amount) for oper, amount in pairs)


def sine_soundfont(frequency=1000.0, sample_rate=48000, root_key=60, amplitude=0.5,
                   cycles=200, bank_name="Sine test bank", compress=None):
    """The SoundFont's bytes: preset 0 of bank 0 plays a sine of `frequency`
    Hz at key `root_key`, looped over whole cycles (so the loop is seamless
    when `sample_rate` / `frequency` is a whole number).

    With `compress`, a function from 16-bit mono PCM (bytes) and its sample
    rate to an Ogg Vorbis stream, an .sf3: the sample is stored as that
    stream, its start and end are byte offsets in the sample data, and its
    loop is counted in frames from its start."""
    period = sample_rate / frequency
    length = int(round(cycles * period))
    samples = [int(round(amplitude * 32767 * math.sin(2 * math.pi * i / period)))
               for i in range(length)]
    loop_start = int(round(10 * period))
    loop_end = int(round((cycles - 10) * period))
    pcm = struct.pack("<%dh" % length, *samples)
    if compress:
        smpl = compress(pcm, sample_rate)
        version = (3, 1)
        place = (0, len(smpl), loop_start, loop_end)
        sample_type = 1 | 0x10
    else:
        # Every sample is followed by 46 zero samples.
        smpl = pcm + b"\0" * 92
        version = (2, 1)
        place = (0, length, loop_start, loop_end)
        sample_type = 1

    info = riff_list(b"LIST", b"INFO", [
        chunk(b"ifil", struct.pack("<HH", *version)),
        chunk(b"isng", text("EMU8000")),
        chunk(b"INAM", text(bank_name)),
    ])
    sdta = riff_list(b"LIST", b"sdta", [chunk(b"smpl", smpl)])
    terminal_modulator = b"\0" * 10
    pdta = riff_list(b"LIST", b"pdta", [
        chunk(b"phdr", name("Sine") + struct.pack("<HHHIII", 0, 0, 0, 0, 0, 0) +
              name("EOP") + struct.pack("<HHHIII", 0, 0, 1, 0, 0, 0)),
        chunk(b"pbag", struct.pack("<HH", 0, 0) + struct.pack("<HH", 1, 0)),
        chunk(b"pmod", terminal_modulator),
        chunk(b"pgen", generators([(INSTRUMENT, 0), (0, 0)])),
        chunk(b"inst", name("Sine") + struct.pack("<H", 0) + name("EOI") + struct.pack("<H", 1)),
        chunk(b"ibag", struct.pack("<HH", 0, 0) + struct.pack("<HH", 4, 0)),
        chunk(b"imod", terminal_modulator),
        chunk(b"igen", generators([(RELEASE_VOLUME_ENVELOPE, -3600), (SAMPLE_MODES, 1),
                                   (OVERRIDING_ROOT_KEY, root_key), (SAMPLE_ID, 0), (0, 0)])),
        chunk(b"shdr", name("Sine") + struct.pack("<IIIIIBbHH", *place, sample_rate, root_key,
                                                  0, 0, sample_type) +
              name("EOS") + struct.pack("<IIIIIBbHH", 0, 0, 0, 0, 0, 0, 0, 0, 0)),
    ])
    return riff_list(b"RIFF", b"sfbk", [info, sdta, pdta])


if __name__ == "__main__":
    import sys
    with open(sys.argv[1], "wb") as f:
        f.write(sine_soundfont())
