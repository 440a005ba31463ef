#!/usr/bin/python3
"""The cross-run tournament: each run's final Predators against every run's final Prey.

    scripts/cross_run.py RUN... -o cross.csv [--ticks T] [--worlds W] [--seed S]

A run's final snapshot is the last of its archive/ (kavrosa-evolve --archive-every), or
its genom.gen when it keeps no archive. Each cell is played by kavrosa-tournament in
frozen worlds with the Predators' run's settings; every cell takes the same evaluation
seeds, so the cells differ only by who plays. Writes the long table (predatorRun,
preyRun, then kavrosa-tournament's columns) and beside it a heat map (cross.png): a
diagonal brighter than the rest of its column says the Predators do best against the
Prey they evolved with (local adaptation); a column bright throughout says they are
better hunters in general. KAVROSA_TOURNAMENT names the program (default:
build/kavrosa-tournament beside this script).
"""
import argparse
import csv
import os
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def final_snapshot(run):
    archive = os.path.join(run, "archive")
    if os.path.isdir(archive):
        names = sorted(n for n in os.listdir(archive) if n.startswith("genom-") and n.endswith(".gen"))
        if names:
            return os.path.join(archive, names[-1])
    genome = os.path.join(run, "genom.gen")
    if os.path.isfile(genome):
        return genome
    raise ValueError(f"{run}: neither an archive nor a genom.gen")


def tick_of(snapshot):
    """The tick a Genome file holds: 64 bits, little-endian, after the 60,480 bytes of weights."""
    with open(snapshot, "rb") as f:
        f.seek(60480)
        raw = f.read(8)
    if len(raw) != 8:
        raise ValueError(f"{snapshot}: shorter than a Genome file")
    return struct.unpack("<q", raw)[0]


def side(folder, run, snapshot):
    """A folder with the one snapshot as its archive and the run's sidecar (its settings)."""
    os.makedirs(os.path.join(folder, "archive"))
    tick = max(tick_of(snapshot), 0)
    shutil.copyfile(snapshot, os.path.join(folder, "archive", f"genom-{tick:09d}.gen"))
    sidecar = os.path.join(run, "genom.gen.json")
    if os.path.isfile(sidecar):
        shutil.copyfile(sidecar, os.path.join(folder, "genom.gen.json"))
    return folder


def draw(rows, names, output):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import numpy as np
    n = len(names)
    sums, counts = np.zeros((n, n)), np.zeros((n, n))
    for r in rows:
        i, j = names.index(r["predatorRun"]), names.index(r["preyRun"])
        sums[j, i] += float(r["capturesPer1000"])
        counts[j, i] += 1
    matrix = sums / np.maximum(counts, 1)
    fig, ax = plt.subplots(figsize=(1.2 * n + 4, 1.0 * n + 3))
    image = ax.imshow(matrix, origin="lower", cmap="viridis")
    labels = [os.path.basename(os.path.normpath(name)) for name in names]
    if len(set(labels)) < n:  # seed-1 of several settings: the setting's folder too
        labels = [os.path.join(*os.path.normpath(name).split(os.sep)[-2:]) for name in names]
    ax.set_xticks(range(n), labels, rotation=45, ha="right", fontsize=8)
    ax.set_yticks(range(n), labels, fontsize=8)
    ax.set_xlabel("run of the Predators (final snapshot)")
    ax.set_ylabel("run of the Prey (final snapshot)")
    ax.set_title("Cross-run tournament: captures per 1,000 ticks", fontsize=10)
    fig.colorbar(image, ax=ax, label="captures per 1,000 ticks")
    fig.tight_layout()
    fig.savefig(output, dpi=90)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter,
                                     epilog="\n".join(__doc__.splitlines()[2:]))
    parser.add_argument("runs", nargs="+", metavar="RUN")
    parser.add_argument("-o", "--output", required=True, metavar="FILE")
    parser.add_argument("--ticks", type=int, default=1000)
    parser.add_argument("--worlds", type=int, default=4)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args(argv)
    program = os.environ.get("KAVROSA_TOURNAMENT",
                             os.path.join(HERE, "..", "build", "kavrosa-tournament"))
    if not os.access(program, os.X_OK):
        print(f"cross_run.py: no program at {program} (build first, or set KAVROSA_TOURNAMENT)",
              file=sys.stderr)
        return 2
    if len(set(args.runs)) != len(args.runs):
        print("cross_run.py: a run is named twice", file=sys.stderr)
        return 2
    try:
        snapshots = [final_snapshot(run) for run in args.runs]
    except ValueError as error:
        print(f"cross_run.py: {error}", file=sys.stderr)
        return 2
    rows, header = [], None
    with tempfile.TemporaryDirectory() as scratch:
        try:
            sides = [side(os.path.join(scratch, str(k)), run, snap)
                     for k, (run, snap) in enumerate(zip(args.runs, snapshots))]
        except (OSError, ValueError) as error:
            print(f"cross_run.py: {error}", file=sys.stderr)
            return 2
        for i, hunters in enumerate(sides):
            for j, hunted in enumerate(sides):
                table = os.path.join(scratch, f"cell-{i}-{j}.csv")
                done = subprocess.run(
                    [program, "--predators-from", hunters, "--prey-from", hunted,
                     "--ticks", str(args.ticks), "--worlds", str(args.worlds),
                     "--seed", str(args.seed), "-o", table],
                    capture_output=True, text=True)
                if done.returncode != 0:
                    lines = done.stderr.strip().splitlines()
                    print(f"cross_run.py: {args.runs[i]} against {args.runs[j]}: "
                          f"{lines[-1] if lines else 'failed'}", file=sys.stderr)
                    return 2 if done.returncode == 2 else 1
                with open(table, newline="") as f:
                    reader = csv.DictReader(f)
                    header = header or reader.fieldnames
                    for r in reader:
                        rows.append({"predatorRun": args.runs[i], "preyRun": args.runs[j], **r})
    temporary = args.output + ".tmp"
    with open(temporary, "w", newline="") as f:
        writer = csv.DictWriter(f, ["predatorRun", "preyRun"] + header)
        writer.writeheader()
        writer.writerows(rows)
    os.replace(temporary, args.output)
    picture = os.path.splitext(args.output)[0] + ".png"
    try:
        draw(rows, args.runs, picture)
    except ImportError as missing:
        print(f"cross_run.py: {missing.name} is missing in {sys.executable}; the table is in "
              f"{args.output}; run /usr/bin/python3 {sys.argv[0]} for the picture", file=sys.stderr)
        return 0
    print(f"cross_run.py: {len(args.runs)} x {len(args.runs)} cells in {args.output}, picture in {picture}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
