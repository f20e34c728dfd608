#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the manual page of quorvan-cli from the program's own help texts, so that the page
cannot drift from the program: NAME and SYNOPSIS from `quorvan-cli --help`, DESCRIPTION
from the rest of it, then COMMANDS, one subsection for each command that it lists, from
`quorvan-cli COMMAND --help`.

The help texts are wrapped for a terminal. The page is made from their layout alone, so that
a line wrapped anywhere reads the same in man:
- "Usage:" and the indented lines after it, up to a blank line, are one synopsis;
- a line at the left margin is running text, which man fills again;
- an indented line begins an entry of a list ("--wait SECONDS", "discover"), and lines
  indented deeper continue its text. The term ends at the column where the entry's
  continuation lines begin (or the list's, for an entry of one line) when a space comes
  just before it, else at two spaces: a term as long as that column leaves only one.

    cli-manpage.py CLI DAY OUTPUT       (DAY as 2026-12-07: the page carries no build time)
"""

import re
import subprocess
import sys

SUMMARY = "find the Quorvan network boards and change their network settings"
OPTION = re.compile(r"(?<![^\s\[|])(--?[A-Za-z0-9][A-Za-z0-9-]*)")


def run(cli, *args):
    return subprocess.run([cli, *args], check=True, capture_output=True, text=True).stdout


def escape(text):
    """Roff for plain text: hyphens as the minus signs of options, quotes as typed."""
    for plain, roff in (("\\", "\\e"), ("-", "\\-"), ("'", "\\(aq"), ("`", "\\(ga")):
        text = text.replace(plain, roff)
    return text


def text_line(roff):
    """A line of text, which must not be read as a request."""
    return "\\&" + roff if roff.startswith(".") else roff


def with_options(text):
    """Escaped, with every option name in bold."""
    parts = OPTION.split(text)
    return "".join(("\\fB%s\\fR" if i % 2 else "%s") % escape(p) for i, p in enumerate(parts))


def depth(line):
    return len(line) - len(line.lstrip())


def paragraphs(text):
    block = []
    for line in text.expandtabs().splitlines():
        if line.strip():
            block.append(line.rstrip())
        elif block:
            yield block
            block = []
    if block:
        yield block


def usage(text):
    """The synopsis, joined whatever its wrapping, and the paragraphs after it."""
    blocks = list(paragraphs(text))
    if not blocks or not blocks[0][0].startswith("Usage:"):
        sys.exit("cli-manpage: the help text does not begin with a usage line")
    first = blocks[0]
    end = 1
    while end < len(first) and depth(first[end]) > 0:
        end += 1
    synopsis = " ".join(" ".join(first[:end])[len("Usage:"):].split())
    return synopsis, ([first[end:]] if end < len(first) else []) + blocks[1:]


def entry(line, column):
    """The term and the text of a list entry."""
    if column and len(line) > column and line[column - 1] == " " and line[column] != " ":
        return line[:column].strip(), line[column:].strip()
    text = line.strip()
    gap = re.search(r"\s{2,}", text)
    return (text[:gap.start()], text[gap.end():]) if gap else (text, "")


def block_roff(block):
    indented = [depth(line) for line in block if depth(line) > 0]
    start = min(indented, default=0)
    deeper = [d for d in indented if d > start]
    # The column of an entry's text: where its own next line begins, else where most
    # continuation lines of the list begin.
    usual = max(set(deeper), key=deeper.count) if deeper else None
    out, in_list = [], False
    for n, line in enumerate(block):
        if depth(line) == 0:
            if in_list or not out:
                out.append(".PP")
            in_list = False
            out.append(text_line(escape(line)))
        elif depth(line) == start:
            below = depth(block[n + 1]) if n + 1 < len(block) else 0
            term, text = entry(line, below if below > start else usual)
            out += [".TP", text_line(with_options(term))]
            if text:
                out.append(text_line(escape(text)))
            in_list = True
        else:
            out.append(text_line(escape(line.strip())))
    return out


def synopsis_roff(synopsis, words):
    """The synopsis, its first `words` words (the program and the command) in bold."""
    head = synopsis.split(" ")
    roff = "\\fB%s\\fR %s" % (escape(" ".join(head[:words])), with_options(" ".join(head[words:])))
    return text_line(roff.rstrip())


def commands(blocks):
    """The terms of the list that follows a line "Commands:"."""
    for block in blocks:
        for n, line in enumerate(block):
            items = block[n + 1:]
            if depth(line) == 0 and line.strip().lower() == "commands:" and items:
                return [entry(item, None)[0].split()[0]
                        for item in items if depth(item) == depth(items[0])]
    sys.exit("cli-manpage: the help text lists no commands")


def main(cli, day, output):
    # The footer names the release without the build ("quorvan-cli 1.0.0.2"): a build's
    # version is too long to stand beside the date in 80 columns.
    version = run(cli, "--version").strip().split("+")[0]
    synopsis, blocks = usage(run(cli, "--help"))
    program = synopsis.split(" ")[0]
    page = ['.\\" Written from the help texts of %s.' % program,
            '.TH %s 1 "%s" "%s" "User Commands"' % (escape(program.upper()), day,
                                                       escape(version)),
            ".SH NAME", "%s \\- %s" % (escape(program), escape(SUMMARY)),
            ".SH SYNOPSIS", synopsis_roff(synopsis, 1), ".SH DESCRIPTION"]
    for block in blocks:
        page += block_roff(block)
    page.append(".SH COMMANDS")
    for command in commands(blocks):
        synopsis, command_blocks = usage(run(cli, command, "--help"))
        page += ['.SS "%s"' % escape(command), synopsis_roff(synopsis, 2)]
        for block in command_blocks:
            page += block_roff(block)
    page += [".SH SEE ALSO", ".BR quorvan\\-config (1)"]
    # A paragraph begins with its heading already.
    page = [line for n, line in enumerate(page) if line != ".PP" or
            not page[n - 1].startswith(".SH ")]
    with open(output, "w", encoding="utf-8") as f:
        f.write("\n".join(page) + "\n")


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit("usage: cli-manpage.py CLI DAY OUTPUT")
    main(*sys.argv[1:])
