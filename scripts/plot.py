#!/usr/bin/python3
"""Plots the time-series logs of kavrosa-evolve (--log) into one PNG.

Runs on the system Python (/usr/bin/python3) with Debian's python3-matplotlib.

    scripts/plot.py LOG.csv [MORE.csv ...] -o FILE.png [--smooth ROWS] [--title TEXT]

Four panels over ticks: captures per 1,000 ticks, the mean generation of both
populations, the Prey's mean rank position by reproduction mode, and the dispersion of
the Prey Genomes' answers to the two probes. With several logs (replicates) each run is
drawn thin and their mean, over the ticks all runs have, bold.
"""
import argparse
import csv
import math
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import matplotlib.ticker  # noqa: E402
import numpy as np  # noqa: E402


def read_log(path):
    """The columns of one log as float arrays, keyed by the header's names."""
    with open(path, newline="") as f:
        reader = csv.reader(f)
        header = next(reader, None)
        if not header or header[0] != "tick":
            raise ValueError(f"{path}: not a kavrosa-evolve log (no header)")
        rows = []
        for row in reader:
            if len(row) != len(header):
                break  # a torn last line
            rows.append([float(v) for v in row])
    if not rows:
        raise ValueError(f"{path}: no rows yet")
    table = np.array(rows)
    return {name: table[:, i] for i, name in enumerate(header)}


def smooth(values, window):
    if window <= 1 or len(values) < window:
        return values
    kernel = np.ones(window) / window
    padded = np.concatenate([np.full(window - 1, values[0]), values])
    return np.convolve(padded, kernel, mode="valid")


def captures_per_1000(log):
    ticks = log["tick"]
    steps = np.diff(ticks, prepend=ticks[0] - (ticks[1] - ticks[0] if len(ticks) > 1 else 200))
    return log["captures"] / steps * 1000.0


SERIES = [
    # panel, label, colour, values of a log
    (0, "captures", "tab:red", captures_per_1000),
    (1, "Predators", "tab:red", lambda log: log["predatorMeanGeneration"]),
    (1, "Prey", "tab:blue", lambda log: log["preyMeanGeneration"]),
    (2, "sexual (i)", "tab:green", lambda log: log["sexualRankPct"]),
    (2, "clonal (k)", "tab:purple", lambda log: log["clonalRankPct"]),
    (3, "E probe (four Prey)", "tab:orange", lambda log: log["probeESpread"]),
    (3, "M probe (one Predator)", "tab:brown", lambda log: log["probeMSpread"]),
]
TITLES = [
    "Captures per 1,000 ticks",
    "Mean generation",
    "Prey's mean rank position (% of the list, 0 = top)",
    "Dispersion of the Prey's probe answers",
]


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("logs", nargs="+", metavar="LOG.csv")
    parser.add_argument("-o", "--output", required=True, metavar="FILE.png")
    parser.add_argument("--smooth", type=int, default=0,
                        help="rows in the running mean (default: about 1/100 of a run)")
    parser.add_argument("--title", default=None)
    args = parser.parse_args(argv)

    try:
        logs = [read_log(path) for path in args.logs]
    except (OSError, ValueError) as error:
        print(f"plot.py: {error}", file=sys.stderr)
        return 2
    window = args.smooth or max(1, min(len(log["tick"]) for log in logs) // 100)
    several = len(logs) > 1
    common = sorted(set.intersection(*(set(log["tick"]) for log in logs)))

    fig, axes = plt.subplots(2, 2, figsize=(12, 8), sharex=True)
    axes = axes.ravel()
    for panel, label, colour, values_of in SERIES:
        ax = axes[panel]
        curves = []
        for log in logs:
            values = values_of(log)
            if np.all(np.isnan(values)):
                continue  # e.g. the clonal mode, which no Prey ever has
            curves.append((log["tick"], values))
            ax.plot(log["tick"], smooth(values, window), color=colour,
                    lw=0.7 if several else 1.3, alpha=0.45 if several else 1.0,
                    label=None if several else label)
        if not curves:
            ax.plot([], [], color=colour, label=f"{label}: no Prey")
            continue
        if several and common:
            stacked = np.array([[v for t, v in zip(ticks, values) if t in set(common)]
                                for ticks, values in curves])
            ax.plot(common, smooth(stacked.mean(axis=0), window), color=colour, lw=2.4,
                    label=f"{label}, mean of {len(curves)}")
    for ax, title in zip(axes, TITLES):
        ax.set_title(title, fontsize=10)
        ax.grid(alpha=0.3)
        handles, _ = ax.get_legend_handles_labels()
        if handles:
            ax.legend(fontsize=8, loc="best")
    spreads = np.concatenate([np.concatenate([log["probeESpread"], log["probeMSpread"]])
                              for log in logs])
    if np.all(spreads[np.isfinite(spreads)] > 0):
        axes[3].set_yscale("log")
    for ax in axes[2:]:
        ax.set_xlabel("tick")
        ax.xaxis.set_major_formatter(matplotlib.ticker.StrMethodFormatter("{x:,.0f}"))
    runs = f"{len(logs)} runs" if several else args.logs[0]
    smoothing = f", running mean of {window} rows" if window > 1 else ""
    fig.suptitle(args.title or f"Kavrosa: {runs}{smoothing}")
    fig.tight_layout()
    fig.savefig(args.output, dpi=90)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
