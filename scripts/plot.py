#!/usr/bin/python3
"""Plots the time-series logs of kavrosa-evolve (--log) into one PNG.

Runs on the system Python (/usr/bin/python3) with Debian's python3-matplotlib.

    scripts/plot.py LOG.csv [MORE.csv ...] -o FILE.png [--smooth ROWS] [--title TEXT]
    scripts/plot.py SWEEP_DIR -o FILE.png        # a folder made by scripts/sweep

Four panels over ticks: captures per 1,000 ticks, the mean generation of both
populations, the Prey's mean rank position by reproduction mode, and the dispersion of
the Prey Genomes' answers to the two probes. Runs with the same settings (the seeds of
one setting) are drawn thin and their mean, over the ticks all of them have, bold; runs
with different settings are never averaged together: each setting has a colour of its
own, its mean with a band from the lowest to the highest run, the legend naming the
values. The settings of a log come from the sweep's table of runs or, for logs given one
by one, from the sidecar genom.gen.json beside each log.
"""
import argparse
import csv
import json
import math
import os
import sys

try:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt  # noqa: E402
    import matplotlib.ticker  # noqa: E402
    import numpy as np  # noqa: E402
except ImportError as missing:
    print(f"plot.py: {missing.name} is missing in {sys.executable}; run it with the system "
          "Python, /usr/bin/python3 (Debian's python3-matplotlib and python3-numpy)",
          file=sys.stderr)
    sys.exit(2)


def read_log(path):
    """The columns of one log as float arrays, keyed by the header's names."""
    with open(path, newline="") as f:
        reader = csv.reader(f)
        header = next(reader, None)
        if not header or header[0] != "tick":
            raise ValueError(f"{path}: not a kavrosa-evolve log (no header)")
        lines = list(reader)
    rows = []
    for number, row in enumerate(lines, 2):
        try:
            if len(row) != len(header):
                raise ValueError
            rows.append([float(v) for v in row])
        except ValueError:
            if number == len(lines) + 1:
                break  # a torn last line: the run is writing it or was killed
            raise ValueError(f"{path}:{number}: a malformed row")
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
    # panel, label, line style, values of a log
    (0, "captures", "-", captures_per_1000),
    (1, "Predators", "-", lambda log: log["predatorMeanGeneration"]),
    (1, "Prey", "--", lambda log: log["preyMeanGeneration"]),
    (2, "sexual (i)", "-", lambda log: log["sexualRankPct"]),
    (2, "clonal (k)", "--", lambda log: log["clonalRankPct"]),
    (3, "E probe (four Prey)", "-", lambda log: log["probeESpread"]),
    (3, "M probe (one Predator)", "--", lambda log: log["probeMSpread"]),
]
TITLES = [
    "Captures per 1,000 ticks",
    "Mean generation",
    "Prey's mean rank position (% of the list, 0 = top)",
    "Dispersion of the Prey's probe answers",
]
Y_LABELS = ["captures / 1,000 ticks", "generation", "% of the rank list", "dispersion"]
# One colour per setting; with a single setting each panel's series keep their own colours.
SETTING_COLOURS = ["tab:blue", "tab:orange", "tab:green", "tab:red", "tab:purple",
                   "tab:brown", "tab:pink", "tab:gray", "tab:olive", "tab:cyan"]
SERIES_COLOURS = ["tab:red", "tab:red", "tab:blue", "tab:green", "tab:purple", "tab:orange",
                  "tab:brown"]


def sidecar_settings(log_path):
    """The model settings in the sidecar beside a log, as {name: value}, or {}."""
    path = os.path.join(os.path.dirname(os.path.abspath(log_path)), "genom.gen.json")
    try:
        with open(path) as f:
            return {str(k): v for k, v in json.load(f).get("settings", {}).items()}
    except (OSError, ValueError, AttributeError):
        return {}


def groups_of(paths):
    """[(label, [log paths])]: runs grouped by the settings in which they differ."""
    if len(paths) == 1 and os.path.isdir(paths[0]):
        folder = paths[0]
        try:
            with open(os.path.join(folder, "sweep.json")) as f:
                plan = json.load(f)
        except (OSError, ValueError) as error:
            raise ValueError(f"{folder}: not a sweep folder (no readable sweep.json: {error})")
        grouped = {}
        for run in plan["runs"]:
            grouped.setdefault(run["name"], []).append(os.path.join(folder, run["folder"], "log.csv"))
        return list(grouped.items())
    settings = [sidecar_settings(p) for p in paths]
    names = sorted(set().union(*settings))
    differing = [n for n in names if len({json.dumps(s.get(n)) for s in settings}) > 1]
    grouped = {}
    for path, values in zip(paths, settings):
        label = ", ".join(f"{n}={values.get(n, 'default')}" for n in differing)
        grouped.setdefault(label, []).append(path)
    return list(grouped.items())


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("logs", nargs="+", metavar="LOG.csv|SWEEP_DIR")
    parser.add_argument("-o", "--output", required=True, metavar="FILE.png")
    parser.add_argument("--smooth", type=int, default=0,
                        help="rows in the running mean (default: about 1/100 of a run)")
    parser.add_argument("--title", default=None)
    args = parser.parse_args(argv)

    try:
        groups = [(label, [read_log(path) for path in paths])
                  for label, paths in groups_of(args.logs)]
    except (OSError, ValueError, KeyError) as error:
        print(f"plot.py: {error}", file=sys.stderr)
        return 2
    all_logs = [log for _, logs in groups for log in logs]
    window = args.smooth or max(1, min(len(log["tick"]) for log in all_logs) // 100)
    settings = len(groups) > 1

    fig, axes = plt.subplots(2, 2, figsize=(12, 8), sharex=True)
    axes = axes.ravel()
    for index, (panel, label, style, values_of) in enumerate(SERIES):
        ax = axes[panel]
        for number, (setting, logs) in enumerate(groups):
            colour = SETTING_COLOURS[number % len(SETTING_COLOURS)] if settings \
                else SERIES_COLOURS[index]
            name = f"{label}, {setting}" if settings and setting else label
            several = len(logs) > 1
            curves = [(log["tick"], values_of(log)) for log in logs]
            curves = [(t, v) for t, v in curves if not np.all(np.isnan(v))]
            if not curves:
                # e.g. the clonal mode, which no Prey ever has
                if number == 0:
                    ax.plot([], [], color=colour, ls=style, label=f"{label}: no Prey")
                continue
            if not settings:
                for ticks, values in curves:
                    ax.plot(ticks, smooth(values, window), color=colour, ls=style,
                            lw=0.7 if several else 1.3, alpha=0.45 if several else 1.0,
                            label=None if several else name)
            if several or settings:
                common = sorted(set.intersection(*(set(t) for t, _ in curves)))
                if not common:
                    continue
                stacked = np.array([[v for t, v in zip(ticks, values) if t in set(common)]
                                    for ticks, values in curves])
                mean = smooth(stacked.mean(axis=0), window)
                ax.plot(common, mean, color=colour, ls=style, lw=2.2 if not settings else 1.6,
                        label=f"{name}, mean of {len(curves)}" if several else name)
                if settings and several:
                    ax.fill_between(common, smooth(stacked.min(axis=0), window),
                                    smooth(stacked.max(axis=0), window), color=colour,
                                    alpha=0.15, lw=0)
    for ax, title, ylabel in zip(axes, TITLES, Y_LABELS):
        ax.set_title(title, fontsize=10)
        ax.set_ylabel(ylabel)
        ax.grid(alpha=0.3)
        handles, _ = ax.get_legend_handles_labels()
        if handles:
            ax.legend(fontsize=7 if settings else 8, loc="best")
    spreads = np.concatenate([np.concatenate([log["probeESpread"], log["probeMSpread"]])
                              for log in all_logs])
    if np.all(spreads[np.isfinite(spreads)] > 0):
        axes[3].set_yscale("log")
    for ax in axes[2:]:
        ax.set_xlabel("tick")
        ax.xaxis.set_major_formatter(matplotlib.ticker.StrMethodFormatter("{x:,.0f}"))
    count = len(all_logs)
    runs = (f"{len(groups)} settings, {count} runs" if settings
            else f"{count} runs" if count > 1 else args.logs[0])
    smoothing = f", running mean of {window} rows" if window > 1 else ""
    fig.suptitle(args.title or f"Kavrosa: {runs}{smoothing}")
    fig.tight_layout()
    fig.savefig(args.output, dpi=90)
    print(f"plot.py: {runs} in {args.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
