"""Arguments as Python users write them: the tools' -9 and -1 as levels, the
options keyword-only, a wrong argument refused in a short line that names
it and never shows the input, and signatures that help() and editors see."""

import inspect
import pydoc

import pytest

import mthc
from samples import SMF, Tool

LARGE = bytes(16 << 20)

LEVEL_WORDS = "'best' or 'fast' (or 9 or 1"
FLAG_WORDS = "True or False"
DATA_WORDS = "bytes-like object"

# A wrong call on a 16 MiB input: (call, exception, what the text must hold).
WRONG_CALLS = {
    "level=None": (lambda d: mthc.pack(d, level=None), TypeError, ["level", LEVEL_WORDS]),
    "level=9.0": (lambda d: mthc.pack(d, level=9.0), TypeError, ["level", LEVEL_WORDS]),
    "level=True": (lambda d: mthc.pack(d, level=True), TypeError, ["level", LEVEL_WORDS]),
    "level=b'best'": (lambda d: mthc.pack(d, level=b"best"), TypeError, ["level", LEVEL_WORDS]),
    "level='medium'": (lambda d: mthc.pack(d, level="medium"), ValueError,
                       ["level", LEVEL_WORDS, "'medium'"]),
    "level=5": (lambda d: mthc.pack(d, level=5), ValueError, ["level", LEVEL_WORDS, "5"]),
    "level='Best'": (lambda d: mthc.pack_report(d, level="Best"), ValueError,
                     ["level", LEVEL_WORDS]),
    "level of a million characters": (lambda d: mthc.pack(d, level="9" * 10**6), ValueError,
                                      ["level", LEVEL_WORDS]),
    "level given the input": (lambda d: mthc.pack(d, level=d), TypeError, ["level", LEVEL_WORDS]),
    "a positional level": (lambda d: mthc.pack(d, 9), TypeError, ["positional"]),
    "a positional level, report": (lambda d: mthc.pack_report(d, "best"), TypeError,
                                   ["positional"]),
    "strict='yes'": (lambda d: mthc.pack(d, strict="yes"), TypeError, ["strict", FLAG_WORDS]),
    "strict=None": (lambda d: mthc.pack_report(d, strict=None), TypeError, ["strict", FLAG_WORDS]),
    "strict=1": (lambda d: mthc.pack(d, strict=1), TypeError, ["strict", FLAG_WORDS]),
    "as_is='yes'": (lambda d: mthc.unpack(d, as_is="yes"), TypeError, ["as_is", FLAG_WORDS]),
    "as_is=None": (lambda d: mthc.unpack_report(d, as_is=None), TypeError, ["as_is", FLAG_WORDS]),
    "a positional as_is": (lambda d: mthc.unpack(d, True), TypeError, ["positional"]),
    "a misspelt keyword": (lambda d: mthc.pack(d, levl=9), TypeError, ["levl"]),
    "data as text": (lambda d: mthc.pack(d.decode()), TypeError, ["data", DATA_WORDS, "str"]),
    "data as a list": (lambda d: mthc.summary(list(d[:10**6])), TypeError,
                       ["data", DATA_WORDS, "list"]),
    "no data": (lambda d: mthc.check(None), TypeError, ["data", DATA_WORDS, "NoneType"]),
}


@pytest.mark.parametrize("case", WRONG_CALLS)
def test_a_wrong_argument_is_refused_in_a_short_line_that_names_it(case):
    call, exception, words = WRONG_CALLS[case]
    with pytest.raises(exception) as raised:
        call(LARGE)
    text = str(raised.value)
    assert type(raised.value) is exception
    assert len(text) < 300 and len(repr(raised.value)) < 300, len(text)
    for word in words:
        assert word in text, (word, text)


def test_levels_are_the_tools_options(tmp_path):
    by_tool = {option: Tool(tmp_path, SMF, "-c", option).stdout for option in ("-9", "-1")}
    assert by_tool["-9"] != by_tool["-1"]
    for level, option in (("best", "-9"), (9, "-9"), ("fast", "-1"), (1, "-1")):
        assert mthc.pack(SMF, level=level) == by_tool[option], level
        assert mthc.pack_report(SMF, level=level).container == by_tool[option], level
    assert mthc.pack(SMF) == by_tool["-9"], "the best level is the default"


FUNCTIONS = {
    "pack": ["level", "strict"],
    "pack_report": ["level", "strict"],
    "unpack": ["as_is"],
    "unpack_report": ["as_is"],
    "check": [],
    "summary": [],
}


@pytest.mark.parametrize("name", FUNCTIONS)
def test_signatures_show_the_options_keyword_only(name):
    function = getattr(mthc, name)
    parameters = list(inspect.signature(function).parameters.values())
    assert parameters[0].name == "data"
    assert parameters[0].kind is inspect.Parameter.POSITIONAL_OR_KEYWORD
    assert [p.name for p in parameters[1:]] == FUNCTIONS[name]
    for option in parameters[1:]:
        assert option.kind is inspect.Parameter.KEYWORD_ONLY
        assert option.default is not inspect.Parameter.empty
    assert inspect.signature(function).return_annotation is not inspect.Signature.empty


def test_help_shows_each_function_with_its_signature_and_docs():
    text = pydoc.render_doc(mthc, renderer=pydoc.plaintext)
    assert "PyCapsule" not in text
    for name in FUNCTIONS:
        function = getattr(mthc, name)
        assert f"{name}{inspect.signature(function)}" in text, name
        assert function.__doc__ and function.__doc__.strip().splitlines()[0] in text, name
    for name in mthc.__all__:
        assert getattr(mthc, name).__doc__, name
        assert getattr(mthc, name).__module__ == "mthc", name
