"""English-like text for motifscan's benchmarks: the comments, docstrings and
identifiers of the Python library sources installed here, upper-cased, with
every run of other bytes turned into one '*'.

    python3 bench/text_corpus.py OUTPUT

Files are read in sorted order, so the same installation gives the same
bytes. Exits with status 3 when no Python sources are found."""

import glob
import io
import keyword
import re
import sys
import tokenize

# Tokens after which a string starts a statement of its own: a docstring, or
# a string used as one.
STATEMENT_START = {tokenize.NEWLINE, tokenize.NL, tokenize.INDENT, tokenize.DEDENT, tokenize.ENCODING}


def words_of(source):
    pieces = []
    previous = tokenize.ENCODING
    for token in tokenize.tokenize(io.BytesIO(source).readline):
        if token.type == tokenize.COMMENT:
            pieces.append(token.string)
        elif token.type == tokenize.STRING and previous in STATEMENT_START:
            pieces.append(token.string)
        elif token.type == tokenize.NAME and not keyword.iskeyword(token.string):
            pieces.append(token.string)
        if token.type not in (tokenize.COMMENT, tokenize.NL):
            previous = token.type
    return pieces


def main():
    files = sorted(glob.glob("/usr/lib/python3*/**/*.py", recursive=True))
    pieces = []
    for name in files:
        try:
            with open(name, "rb") as source:
                pieces.extend(words_of(source.read()))
        except (tokenize.TokenError, SyntaxError, UnicodeDecodeError, OSError, ValueError):
            continue  # a file the tokenizer refuses (test data of broken syntax)
    if not pieces:
        sys.exit(3)
    text = " ".join(pieces).encode("utf-8", "replace").upper()
    text = re.sub(rb"[^A-Z]+", b"*", text).strip(b"*") + b"*"
    with open(sys.argv[1], "wb") as out:
        out.write(text)


main()
