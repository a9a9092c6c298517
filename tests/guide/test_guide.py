"""Keeps the user guide (docs/guide/) true to the program: every picture it shows was made
by the photograph scripts and is the one they made; every message it quotes is a text of
the program, byte for byte once written in Windows-1252; and every text of the program
that reaches a person has its entry in the page "Que faire si...".

The program's texts are read from the product sources. A text reaches a person through
one of the calls, holders and returns listed under "Where a text reaches a person"
below; the literal parts of their arguments are the texts (adjacent literals joined, a
constant named in the argument replaced by its literal, printf conversions, host verbs
and control characters taken as separators).

In the guide, a quoted message is a block-quote line ("> ...", Markdown's backslash
escapes undone, so that "\\>>>" quotes ">>>"); a part the program fills in (a folder, a
file, a reason) is written between the angle brackets U+27E8 and U+27E9."""

import hashlib
import os
import pathlib
import re
import unittest

SOURCE = pathlib.Path(os.environ.get("KVX_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))
GUIDE = SOURCE / "docs" / "guide"
MANIFEST = SOURCE / "docs" / "screenshots" / "MANIFEST"
TROUBLESHOOTING = "que-faire-si.md"
PRODUCT_FOLDERS = ("app", "wizard", "archive", "burner", "scsi", "host", "kvxburn", "ui")

# ---- Where a text reaches a person ----------------------------------------------------
# Calls whose arguments are shown: host commands (today the string form "Info,...", and
# typed verbs), message boxes and dialogs, the forms' status lines and the burn wizard's
# log, the engine's messages (shown by the burn wizard and on kvxburn's stderr), the
# console lines of kvxburn, and the failures a procedure records to be shown later.
MESSAGE_CALLS = (
    "Command", "Info", "Error", "AskYesNo", "Display",
    "ShowMessage", "Confirm", "Inform", "WarningBox", "InformationBox", "warn", "inform",
    "Label6.SetCaption", "Label9.SetCaption", "folderLine_.SetCaption", "Add",
    "DebugMessage", "Formatted", "snprintf",
    "Err", "Line", "Failed", "Usage",
    "Fail", "Stop", "RecordFailure", "Refuse", "FailWithUnitText", "ReportWriteDone", "FireEraseDone",
    "refused.push_back", "problems.push_back",
)
# Names that keep a failure text until it is shown ("error = ...", "lastError_ += ...").
MESSAGE_HOLDERS = ("error", "error_", "lastError_", "verifyError_", "failure", "message", "why", "refusal")
# Functions that build a text to be shown: the literals of their return statements.
MESSAGE_BUILDERS = (
    "ClosingMessage", "ExtractionErrorText", "PutBack", "RecoverInterruptedRestore", "Opening", "WriteFailedLine",
    "EraseEndLine", "FileOpenErrorText", "FileCreateErrorText", "FileReadErrorText", "WhereTheDataAsItWasLies",
    "NotUndone", "Stopped", "SetAside", "Recover", "EndCleanUp", "CompressionErrorText", "Absence",
)
# Host commands: the person sees the text after a message verb or a label's name; the
# other verbs drive windows and carry no text.
HOST_VERBS = re.compile(rb"^(?:(?:info|erreur|error|ouinon),|affiche,lib_\w+=) ?", re.I)
HOST_CONTROL = re.compile(rb"^(?:(?:ecran|bibli|projet|ouvre|ferme|multitache|handle|execute)\b|affiche,jauge)", re.I)
# The names of the host window's controls that Display writes to (its first argument).
HOST_CONTROL_NAME = re.compile(rb"^(?:LIB|JAUGE)_\w+$")
# The bridge writes the verbs themselves: its own literals are the wire's, not messages.
HOST_BRIDGE = "host/host_bridge.cpp"
# Files that only the native build compiles: nobody sees their texts.
NATIVE_ONLY = "_posix.cpp"
# Constants of the form kName holding a literal, which a call may name instead of a literal.
CONSTANT = re.compile(r'\b(k[A-Z]\w*)\s*(?:\[\s*\])?\s*=\s*((?:"(?:[^"\\]|\\.)*"\s*)+)')
# ---------------------------------------------------------------------------------------

LITERAL = re.compile(r"'(?:[^'\\\n]|\\.)*'|\"(?:[^\"\\\n]|\\.)*\"")  # character literals too, to skip them
PRINTF = re.compile(rb"%[-+ #0*]*\d*(?:\.\d+)?(?:ll|l|h|z)?[diuxXsfc]")
PLACEHOLDER = re.compile(r"\u27e8[^\u27e9]*\u27e9")
MARKDOWN_ESCAPE = re.compile(r"\\([!-/:-@\[-`{-~])")  # a backslash before ASCII punctuation


def strip_comments(code):
    """The code with comments blanked out (literals and line numbers kept)."""
    out, i, n = [], 0, len(code)
    while i < n:
        c = code[i]
        if code.startswith("//", i):
            j = code.find("\n", i)
            i = n if j < 0 else j
        elif code.startswith("/*", i):
            j = code.find("*/", i + 2)
            out.append(re.sub(r"[^\n]", " ", code[i:j + 2]))
            i = n if j < 0 else j + 2
        elif c in "\"'":
            j = i + 1
            while j < n and code[j] != c:
                j += 2 if code[j] == "\\" else 1
            out.append(code[i:j + 1])
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def literal_bytes(literal):
    """A C++ literal's bytes as the Windows-1252 execution character set gives them."""
    body, out, i = literal[1:-1], bytearray(), 0
    simple = {"n": b"\n", "r": b"\r", "t": b"\t", "a": b"\a", "b": b"\b", "f": b"\f", "v": b"\v", "?": b"?",
              "\\": b"\\", '"': b'"', "'": b"'"}
    while i < len(body):
        if body[i] != "\\":
            out += body[i].encode("cp1252")
            i += 1
        elif body[i + 1] == "x":
            digits = re.match(r"[0-9a-fA-F]+", body[i + 2:]).group()
            out.append(int(digits, 16))
            i += 2 + len(digits)
        elif body[i + 1] in "01234567":
            digits = re.match(r"[0-7]{1,3}", body[i + 1:]).group()
            out.append(int(digits, 8))
            i += 1 + len(digits)
        else:
            out += simple[body[i + 1]]
            i += 2
    return bytes(out)


def joined_literals(text):
    """Each run of adjacent literals in text, joined, as bytes."""
    runs, last_end = [], None
    for match in LITERAL.finditer(text):
        if match.group().startswith("'"):
            continue
        value = literal_bytes(match.group())
        if last_end is not None and not text[last_end:match.start()].strip():
            runs[-1] += value
        else:
            runs.append(value)
        last_end = match.end()
    return runs


def closing(code, start, opening="(", closer=")", stop=None):
    """Index just after the bracket closing the one at start, or at stop at depth 0."""
    depth, i = 0, start
    while i < len(code):
        c = code[i]
        if c in "\"'":
            j = i + 1
            while j < len(code) and code[j] != c:
                j += 2 if code[j] == "\\" else 1
            i = j + 1
            continue
        if c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
            if depth == 0 and stop is None and c == closer:
                return i + 1
            if depth < 0:
                return i
        elif stop and c == stop and depth == 0:
            return i
        i += 1
    return i


def product_sources():
    for folder in PRODUCT_FOLDERS:
        for path in sorted((SOURCE / folder).rglob("*")):
            if (path.suffix in (".cpp", ".h") and not path.name.endswith(NATIVE_ONLY)
                    and path.relative_to(SOURCE).as_posix() != HOST_BRIDGE):
                yield path, strip_comments(path.read_text(encoding="utf-8"))


def message_sites(code):
    """(line, argument text) of every place in code where a text reaches a person."""
    names = [r"\b%s\s*(?:\.|->)\s*%s" % tuple(name.split(".")) if "." in name else r"\b" + name
             for name in MESSAGE_CALLS]
    calls = re.compile(r"(?:%s)\s*\(" % "|".join(names))
    for match in calls.finditer(code):
        start = match.end() - 1
        yield code.count("\n", 0, start) + 1, code[start:closing(code, start)]
    holders = re.compile(r"(?<![\w>])(?:outcome_\.|record_\.)?(%s)\s*\+?=(?!=)" % "|".join(MESSAGE_HOLDERS))
    for match in holders.finditer(code):
        yield code.count("\n", 0, match.end()) + 1, code[match.end():closing(code, match.end(), stop=";")]
    builders = re.compile(r"\b(%s)\s*\([^;{)]*\)\s*(?:const\s*)?\{" % "|".join(MESSAGE_BUILDERS))
    for match in builders.finditer(code):
        body_start = match.end() - 1
        body = code[body_start:closing(code, body_start, "{", "}")]
        for ret in re.finditer(r"\breturn\b", body):
            yield (code.count("\n", 0, body_start + ret.start()) + 1,
                   body[ret.end():closing(body, ret.end(), stop=";")])


def pieces(argument, constants):
    """The texts of one site's argument: its literal runs and the constants it names, cut
    at host verbs, printf conversions and control characters; each with whether it holds
    a word (else it is punctuation or a unit that joins other parts)."""
    found = joined_literals(argument)
    for name in re.findall(r"\b(k[A-Z]\w*)\b", argument):
        found += constants.get(name, [])
    for text in found:
        if HOST_CONTROL.match(text) or HOST_CONTROL_NAME.match(text):
            continue
        text = HOST_VERBS.sub(b"", text)
        for part in re.split(rb"[\x00-\x1f]+", PRINTF.sub(b"\x00", text)):
            part = part.strip(b" ")
            if part:
                yield part, re.search(rb"[A-Za-z\xc0-\xff]{3}", part) is not None


def constants_of(code):
    return {match.group(1): joined_literals(match.group(2)) for match in CONSTANT.finditer(code)}


def program_messages():
    """{text bytes: (holds a word, [where])} of every text the program shows a person."""
    sources = list(product_sources())
    shared = {}  # a file's own constants first, then those of the headers it may include
    for _, code in sources:
        shared.update(constants_of(code))
    messages = {}
    for path, code in sources:
        constants = dict(shared, **constants_of(code))
        for line, argument in message_sites(code):
            for text, worded in pieces(argument, constants):
                messages.setdefault(text, (worded, []))[1].append("%s:%d" % (path.relative_to(SOURCE), line))
    return messages


def quoted_messages(page):
    """The block-quote lines of a guide page (outside code blocks, which show examples),
    each as its fixed parts (Windows-1252 bytes)."""
    quotes, fenced = [], False
    for number, line in enumerate(page.read_text(encoding="utf-8").splitlines(), 1):
        line = line.lstrip()  # a quote may sit in a list item
        fenced ^= line.startswith("```")
        if line.startswith(">") and not fenced:
            text = MARKDOWN_ESCAPE.sub(r"\1", line[1:].strip())
            parts = [part.strip(" ").encode("cp1252") for part in PLACEHOLDER.split(text)]
            quotes.append((number, text, [part for part in parts if part]))
    return quotes


def composed(part, texts):
    """Whether a quoted part is one text of the program, or texts the program joins: the
    end of one, whole ones, then the start of another (blanks between them aside)."""
    if any(part in text for text in texts):
        return True
    ends = {len(text) - k for text in texts for k in range(len(text)) if part.startswith(text[k:])}
    seen = set()
    while ends:
        at = ends.pop()
        seen.add(at)
        rest = part[at:].lstrip(b" ")
        start = len(part) - len(rest)
        for text in texts:
            if text.startswith(rest):
                return True
            if rest.startswith(text) and start + len(text) not in seen:
                ends.add(start + len(text))
    return False


def manifest():
    entries = {}
    for line in MANIFEST.read_text(encoding="utf-8").splitlines():
        digest, _, name = line.partition("  ")
        entries[name] = digest
    return entries


class GuideTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pages = sorted(GUIDE.glob("*.md"))
        cls.messages = program_messages()

    def test_the_guide_has_its_pages(self):
        names = {page.name for page in self.pages}
        self.assertIn("index.md", names)
        self.assertIn(TROUBLESHOOTING, names)
        index = (GUIDE / "index.md").read_text(encoding="utf-8")
        for page in self.pages:
            if page.name != "index.md":
                self.assertIn("(%s)" % page.name, index, "the index does not link %s" % page.name)

    def test_every_picture_was_made_by_the_scripts(self):
        made = manifest()
        self.assertTrue(made, "the manifest lists no picture")
        shown = 0
        for page in self.pages:
            for target in re.findall(r"!\[[^\]]*\]\(([^)\s]+)\)", page.read_text(encoding="utf-8")):
                shown += 1
                picture = (page.parent / target).resolve()
                name = str(picture.relative_to(MANIFEST.parent.resolve()))
                self.assertTrue(picture.is_file(), "%s shows %s, which is missing" % (page.name, target))
                self.assertIn(name, made, "%s shows %s, which the scripts did not make" % (page.name, target))
                self.assertEqual(hashlib.sha256(picture.read_bytes()).hexdigest(), made[name],
                                 "%s is not the picture the scripts made" % target)
        self.assertGreater(shown, 0)

    def test_every_quoted_message_is_a_text_of_the_program(self):
        texts = list(self.messages)
        unknown = ["%s:%d %s" % (page.name, number, part.decode("cp1252")) for page in self.pages
                   for number, _, parts in quoted_messages(page) for part in parts if not composed(part, texts)]
        self.assertEqual(unknown, [], "quoted parts that no text of the program holds")

    def test_every_message_of_the_program_has_its_entry(self):
        parts = [part for _, _, quoted in quoted_messages(GUIDE / TROUBLESHOOTING) for part in quoted]
        missing = ["%s (%s)" % (text.decode("cp1252"), ", ".join(where))
                   for text, (worded, where) in sorted(self.messages.items())
                   if worded and not any(text in part for part in parts)]
        self.assertEqual(missing, [], "texts of the program without their entry in %s" % TROUBLESHOOTING)


if __name__ == "__main__":
    unittest.main()
