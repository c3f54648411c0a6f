# The Python module against a literal count written here: messages as str,
# bytes and buffers, patterns as str and bytes, chunked feeding, the errors.
import array
import gc
import random
import weakref

import pytest

import motifscan


def literal_count(patterns, message):
    """The counting rule run literally: the earliest end of an occurrence that
    starts after the previous completion; a byte outside A-Z and '*' breaks
    every partial match."""
    valid = [p for p in patterns if p and all(65 <= b <= 90 or b == 42 for b in p)]
    count, start = 0, 0
    for end in range(1, len(message) + 1):
        if not (65 <= message[end - 1] <= 90 or message[end - 1] == 42):
            start = end
            continue
        if any(len(p) <= end - start and message[end - len(p):end] == p for p in valid):
            count, start = count + 1, end
    return count


def test_message_types_give_the_same_count():
    patterns = motifscan.Patterns(["AB", b"BC"])
    assert len(patterns) == 2
    for message in ("ABCAB", b"ABCAB", bytearray(b"ABCAB"), memoryview(b"xABCAB")[1:], array.array("b", b"ABCAB")):
        assert motifscan.count(patterns, message) == 2
    # A str is taken as UTF-8: a non-ASCII letter is a byte no pattern holds.
    assert motifscan.count(motifscan.Patterns(["AB", "ÄB"]), "AÄBAB") == 1


def test_counters_in_chunks_match_the_literal_count():
    rng = random.Random(5)
    for _ in range(60):
        patterns = [bytes(rng.choice(b"ABC*") for _ in range(rng.randint(0, 5))) for _ in range(rng.randint(0, 6))]
        message = bytes(rng.choice(b"ABC*ABC*x") for _ in range(rng.randint(0, 400)))
        expected = literal_count(patterns, message)
        compiled = motifscan.Patterns(patterns)
        assert motifscan.count(compiled, message) == expected
        counter = motifscan.Counter(compiled)
        at = 0
        while at < len(message):
            size = rng.randint(1, 9)
            chunk = message[at:at + size]
            counter.feed(rng.choice([chunk, chunk.decode(), memoryview(chunk)]))
            at += size
        assert counter.count == expected


def test_large_messages_release_the_interpreter_and_count_the_same():
    patterns = motifscan.Patterns(["ACGTACGT", "TTTT"])
    message = b"ACGTACGTTTTTG" * 100_000
    counter = motifscan.Counter(patterns)
    counter.feed(message[:654_321])
    counter.feed(message[654_321:])
    assert counter.count == motifscan.count(patterns, message) == 200_000


def test_wrong_types_raise_type_error():
    with pytest.raises(TypeError):
        motifscan.Patterns(["AB", 3])
    with pytest.raises(TypeError):
        motifscan.Patterns([None])
    with pytest.raises(TypeError):
        motifscan.Patterns("AB")
    patterns = motifscan.Patterns(["AB"])
    with pytest.raises(TypeError):
        motifscan.count(patterns, 12)
    with pytest.raises(TypeError):
        motifscan.Counter(patterns).feed(["AB"])


def test_counter_keeps_its_patterns_alive():
    patterns = motifscan.Patterns(["AB"])
    gone = weakref.ref(patterns)
    counter = motifscan.Counter(patterns)
    del patterns
    gc.collect()
    assert gone() is not None
    counter.feed("ABAB")
    assert counter.count == 2
    del counter
    gc.collect()
    assert gone() is None
