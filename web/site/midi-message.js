// A channel message as the player keeps it (status | first data byte << 8 |
// second << 16), as the bytes a synthesizer or a MIDI device takes: two for
// a program change or channel pressure, three for the others.

export function bytesOf(message) {
  const status = message & 0xff;
  const command = status & 0xf0;
  const first = (message >> 8) & 0x7f;
  return command === 0xc0 || command === 0xd0 ? [status, first]
                                              : [status, first, (message >> 16) & 0x7f];
}
