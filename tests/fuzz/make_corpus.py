#!/usr/bin/env python3
"""Writes the seed inputs of the Genome file fuzz target into tests/fuzz/corpus.

usage: make_corpus.py EVOLVED_GENOM_GEN
EVOLVED_GENOM_GEN is a genom.gen saved by kavrosa-evolve after a few thousand ticks;
the other seeds are made from it or from fixed random weights."""
import math
import os
import random
import struct
import sys

SLOTS = 240
WEIGHTS = 63
SIZE = SLOTS * WEIGHTS * 4 + 16  # 60496


def genome_file(weights, tick, predators, prey):
    body = struct.pack("<%df" % len(weights), *weights)
    return body + struct.pack("<qii", tick, predators, prey)


def main():
    here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    os.makedirs(here, exist_ok=True)
    evolved = open(sys.argv[1], "rb").read()
    assert len(evolved) == SIZE
    rng = random.Random(20261208)
    weights = [rng.randrange(32768) / 32768.0 - 0.5 for _ in range(SLOTS * WEIGHTS)]
    evolved_weights = list(struct.unpack("<%df" % (SLOTS * WEIGHTS), evolved[: SIZE - 16]))

    def poisoned(value, every):
        w = list(evolved_weights)
        for slot in range(0, SLOTS, every):
            for g in range(WEIGHTS):
                w[slot * WEIGHTS + g] = value
        return w

    seeds = {
        "valid_evolved": evolved,
        "valid_full": genome_file(weights, 199, 40, 200),
        "short": evolved[:1000],
        "counts_too_high": genome_file(weights, 5, 41, 201),
        "counts_negative": genome_file(weights, -1, -2147483648, 0),
        "nan_weights": genome_file(poisoned(math.nan, 3), 400, 40, 200),
        "infinite_weights": genome_file(poisoned(math.inf, 2) [:SLOTS * WEIGHTS // 2] + poisoned(-math.inf, 5)[SLOTS * WEIGHTS // 2:], 400, 25, 180),
        "huge_weights": genome_file(poisoned(3.0e38, 2), 400, 40, 200),
        "tiny_weights": genome_file(poisoned(1.0e-40, 1), 400, 40, 200),
        # One byte past the file: the target reads it to request size changes.
        "longer_with_size_changes": evolved + bytes([0x0F]) + b"trailing",
    }
    for name, data in seeds.items():
        with open(os.path.join(here, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
