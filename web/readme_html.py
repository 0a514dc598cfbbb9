"""The project's README as a page of the site: the little Markdown that it
uses (headings, paragraphs, lists, tables, code, links and images) turned
into HTML by the build, offline, with nothing fetched.

Everything the README says is escaped: its HTML comments are dropped and
any other HTML shows as text. A link or an image to a file that the site
does not have shows as its text, so the page has no broken links; links to
the web and to the page's own headings stay links.
"""

import html
import re

_CODE_SPAN = re.compile(r"`([^`]+)`")
_IMAGE = re.compile(r"!\[([^\]]*)\]\(([^)\s]+)\)")
_LINK = re.compile(r"\[([^\]]+)\]\(([^)\s]+)\)")
_STRONG = re.compile(r"\*\*(?=\S)(.+?)(?<=\S)\*\*")
_EMPHASIS = re.compile(r"(?<![\w*])\*(?=\S)(.+?)(?<=\S)\*(?![\w*])")
_COMMENT = re.compile(r"<!--.*?-->", re.S)
_TABLE_RULE = re.compile(r"^\|?\s*:?-+:?\s*(\|\s*:?-+:?\s*)*\|?$")
_ITEM = re.compile(r"^(?:[-*]|\d+\.)\s+")


def slug(text):
    """The id of a heading, as Markdown renderers make it."""
    return re.sub(r"[^a-z0-9 _-]", "", text.lower()).strip().replace(" ", "-")


class _Renderer:
    def __init__(self, has_file):
        self.has_file = has_file
        self.out = []

    def target(self, href):
        """Where a link may go: the web, a heading here, or a file of the
        site; None for anything else."""
        if re.match(r"^https?://", href) or href.startswith("#") or self.has_file(href):
            return href
        return None

    def inline(self, text):
        """One paragraph's text: code spans first (nothing inside them is
        Markdown), then images, links and emphasis, all escaped."""
        pieces = []
        last = 0
        for match in _CODE_SPAN.finditer(text):
            pieces.append(self.words(text[last:match.start()]))
            pieces.append("<code>" + html.escape(match.group(1)) + "</code>")
            last = match.end()
        pieces.append(self.words(text[last:]))
        return "".join(pieces)

    def words(self, text):
        slots = []

        def keep(markup):
            slots.append(markup)
            return "\x00%d\x00" % (len(slots) - 1)

        def image(match):
            alt, src = match.group(1), match.group(2)
            if self.target(src) and not src.startswith("#"):
                return keep('<img src="%s" alt="%s">' % (html.escape(src), html.escape(alt)))
            return keep("<em>" + html.escape(alt) + "</em>")

        def link(match):
            label, href = self.words(match.group(1)), self.target(match.group(2))
            if href is None:
                return keep(label)
            return keep('<a href="%s">%s</a>' % (html.escape(href), label))

        text = _IMAGE.sub(image, text)
        text = _LINK.sub(link, text)
        text = html.escape(text, quote=False)
        text = _STRONG.sub(r"<strong>\1</strong>", text)
        text = _EMPHASIS.sub(r"<em>\1</em>", text)
        return re.sub("\x00(\\d+)\x00", lambda m: slots[int(m.group(1))], text)

    def table(self, lines):
        def cells(line):
            return [cell.strip() for cell in line.strip().strip("|").split("|")]

        self.out.append("<table>\n<thead><tr>" +
                        "".join("<th>%s</th>" % self.inline(c) for c in cells(lines[0])) +
                        "</tr></thead>\n<tbody>")
        for line in lines[2:]:
            self.out.append("<tr>" + "".join("<td>%s</td>" % self.inline(c) for c in cells(line)) +
                            "</tr>")
        self.out.append("</tbody>\n</table>")

    def items(self, lines):
        ordered = not lines[0].lstrip().startswith(("-", "*"))
        tag = "ol" if ordered else "ul"
        self.out.append("<%s>" % tag)
        item = []
        for line in lines:
            if _ITEM.match(line):
                if item:
                    self.out.append("<li>%s</li>" % self.inline(" ".join(item)))
                item = [_ITEM.sub("", line)]
            else:
                item.append(line.strip())
        self.out.append("<li>%s</li>" % self.inline(" ".join(item)))
        self.out.append("</%s>" % tag)

    def render(self, text):
        lines = _COMMENT.sub("", text).splitlines()
        at = 0
        while at < len(lines):
            line = lines[at]
            if not line.strip():
                at += 1
            elif line.startswith("```"):
                end = at + 1
                while end < len(lines) and not lines[end].startswith("```"):
                    end += 1
                code = "\n".join(lines[at + 1:end])
                self.out.append("<pre><code>%s</code></pre>" % html.escape(code, quote=False))
                at = end + 1
            elif re.match(r"^#{1,6} ", line):
                level = len(line) - len(line.lstrip("#"))
                title = line[level:].strip()
                self.out.append('<h%d id="%s">%s</h%d>' % (level, slug(title), self.inline(title),
                                                           level))
                at += 1
            elif line.startswith("|") and at + 1 < len(lines) and _TABLE_RULE.match(lines[at + 1]):
                end = at + 2
                while end < len(lines) and lines[end].startswith("|"):
                    end += 1
                self.table(lines[at:end])
                at = end
            elif _ITEM.match(line):
                end = at + 1
                while end < len(lines) and lines[end].strip() and (
                        _ITEM.match(lines[end]) or lines[end].startswith(" ")):
                    end += 1
                self.items(lines[at:end])
                at = end
            else:
                end = at + 1
                while end < len(lines) and lines[end].strip() and not (
                        lines[end].startswith(("```", "#", "|")) or _ITEM.match(lines[end])):
                    end += 1
                self.out.append("<p>%s</p>" % self.inline(" ".join(l.strip() for l in lines[at:end])))
                at = end
        return "\n".join(self.out)


def body(markdown, has_file=lambda name: False):
    """The HTML of `markdown`'s blocks; `has_file(path)` says whether the
    site has a file that a relative link names."""
    return _Renderer(has_file).render(markdown)


def page(markdown, title, stylesheet, icon, has_file=lambda name: False):
    """A whole HTML page of `markdown`, under the site's policy (its own
    files only, no script at all), styled by `stylesheet`, with `icon`."""
    return ("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
            "style-src 'self'; img-src 'self'; base-uri 'none'; form-action 'none'\">\n"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
            "<title>%s</title>\n<link rel=\"icon\" href=\"%s\" type=\"image/svg+xml\">\n"
            "<link rel=\"stylesheet\" href=\"%s\">\n</head>\n"
            "<body class=\"guide\">\n<p><a href=\"./\">Back to the page</a></p>\n<main>\n%s\n"
            "</main>\n</body>\n</html>\n"
            % (html.escape(title), html.escape(icon), html.escape(stylesheet),
               body(markdown, has_file)))
