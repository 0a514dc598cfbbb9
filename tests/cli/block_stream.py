"""A writer of the block bit stream, for crafting containers in tests and scripts,
and containers of literal-only blocks."""


class BitWriter:
    """The block bit stream: flag bits are taken from a flag byte that is
    reserved in the byte sequence when its first bit is written."""

    def __init__(self):
        self.out = bytearray()
        self.flag_at = 0
        self.bits_left = 0

    def flag(self, bit):
        if self.bits_left == 0:
            self.flag_at = len(self.out)
            self.out.append(0)
            self.bits_left = 8
        self.bits_left -= 1
        if bit:
            self.out[self.flag_at] |= 1 << self.bits_left

    def gamma(self, value):
        # The bits below the leading 1, each followed by a continue bit.
        top = value.bit_length() - 1
        for i in range(top - 1, -1, -1):
            self.flag((value >> i) & 1)
            self.flag(1 if i == 0 else 0)

    def literal(self, byte):
        self.flag(1)
        self.out.append(byte)

    def literals(self, data):
        for b in data:
            self.literal(b)

    def repeat_match(self, length_gamma):
        """A match at the repeated distance (initially 1) whose length is the
        gamma value given plus 2 (count one more)."""
        self.flag(0)
        self.gamma(2)
        self.flag(0)
        self.flag(0)
        self.gamma(length_gamma)

    def bytes(self):
        return bytes(self.out)


# A literal-only block: a flag byte of eight 1 bits before every eight bytes.
def literal_block(data):
    out = bytearray()
    for i in range(0, len(data), 8):
        piece = data[i:i + 8]
        out.append((0xFF << (8 - len(piece))) & 0xFF)
        out += piece
    return bytes(out)


def single_block_container(stream):
    packed = literal_block(stream)
    return b"MThc\x01" + len(stream).to_bytes(2, "big") + len(packed).to_bytes(2, "big") + packed
