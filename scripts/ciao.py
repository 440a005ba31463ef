#!/usr/bin/python3
"""Draws a tournament of kavrosa-tournament: the matrix as a heat map and the master
tournament as two curves over the tick.

Runs on the system Python (/usr/bin/python3) with Debian's python3-matplotlib.

    scripts/ciao.py TABLE.csv -o FILE.png [--title TEXT]

TABLE.csv is the long table (-o of kavrosa-tournament). Left: captures per 1,000 ticks of
every Predator snapshot (across) against every Prey snapshot (up), the mean over the
cell's worlds, with a colour bar. Right: each Predator snapshot's mean over all Prey
snapshots and each Prey snapshot's mean over all Predator snapshots, with bands of one
standard error. Predators that get better catch more as the tick grows along the x axis;
Prey that get better are caught less as their tick grows.
"""
import argparse
import csv
import sys

try:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt  # noqa: E402
    import matplotlib.ticker  # noqa: E402
    import numpy as np  # noqa: E402
except ImportError as missing:
    print(f"ciao.py: {missing.name} is missing in {sys.executable}; run it with the system "
          "Python, /usr/bin/python3 (Debian's python3-matplotlib and python3-numpy)",
          file=sys.stderr)
    sys.exit(2)


def read_table(path):
    """{(predator tick, prey tick): [captures per 1,000 ticks of each world]}."""
    cells = {}
    with open(path, newline="") as f:
        rows = [r for r in csv.reader(f) if r and not r[0].startswith("#")]
    if not rows or rows[0][:3] != ["predatorTick", "preyTick", "world"]:
        raise ValueError(f"{path}: not a table of kavrosa-tournament")
    header = rows[0]
    at = header.index("capturesPer1000")
    for number, row in enumerate(rows[1:], 2):
        if len(row) != len(header):
            raise ValueError(f"{path}:{number}: a malformed row")
        cells.setdefault((int(row[0]), int(row[1])), []).append(float(row[at]))
    if not cells:
        raise ValueError(f"{path}: no rows")
    return cells


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("table", metavar="TABLE.csv")
    parser.add_argument("-o", "--output", required=True, metavar="FILE.png")
    parser.add_argument("--title", default=None)
    args = parser.parse_args(argv)
    try:
        cells = read_table(args.table)
    except (OSError, ValueError) as error:
        print(f"ciao.py: {error}", file=sys.stderr)
        return 2
    predator_ticks = sorted({p for p, _ in cells})
    prey_ticks = sorted({q for _, q in cells})
    matrix = np.full((len(prey_ticks), len(predator_ticks)), np.nan)
    for (p, q), values in cells.items():
        matrix[prey_ticks.index(q), predator_ticks.index(p)] = np.mean(values)

    fig, (heat, master) = plt.subplots(1, 2, figsize=(13, 5.5))
    step = lambda ticks: (ticks[1] - ticks[0]) if len(ticks) > 1 else 1  # noqa: E731
    extent = [predator_ticks[0] - step(predator_ticks) / 2, predator_ticks[-1] + step(predator_ticks) / 2,
              prey_ticks[0] - step(prey_ticks) / 2, prey_ticks[-1] + step(prey_ticks) / 2]
    image = heat.imshow(matrix, origin="lower", aspect="auto", extent=extent, cmap="viridis",
                        interpolation="nearest")
    fig.colorbar(image, ax=heat, label="captures per 1,000 ticks")
    heat.set_xlabel("tick of the Predators' snapshot")
    heat.set_ylabel("tick of the Prey's snapshot")
    heat.set_title("Every Predator generation against every Prey generation", fontsize=10)

    def curve(means, errors, ticks, colour, label):
        means, errors = np.array(means), np.array(errors)
        master.plot(ticks, means, color=colour, lw=1.8, marker="o", ms=3, label=label)
        master.fill_between(ticks, means - errors, means + errors, color=colour, alpha=0.2, lw=0)

    by_predator = [matrix[:, i] for i in range(len(predator_ticks))]
    by_prey = [matrix[j, :] for j in range(len(prey_ticks))]
    error = lambda v: np.nanstd(v, ddof=1) / np.sqrt(np.sum(~np.isnan(v))) if np.sum(~np.isnan(v)) > 1 else 0.0  # noqa: E731,E501
    curve([np.nanmean(v) for v in by_predator], [error(v) for v in by_predator], predator_ticks,
          "tab:red", "Predators of this tick against all Prey")
    curve([np.nanmean(v) for v in by_prey], [error(v) for v in by_prey], prey_ticks,
          "tab:blue", "Prey of this tick against all Predators")
    master.set_xlabel("tick of the snapshot")
    master.set_ylabel("captures per 1,000 ticks")
    master.set_title("Master tournament (mean and one standard error)", fontsize=10)
    master.grid(alpha=0.3)
    master.legend(fontsize=8)
    for ax in (heat, master):
        # At most five labels, so that seven-digit ticks do not run into each other.
        ax.xaxis.set_major_locator(matplotlib.ticker.MaxNLocator(5))
        ax.xaxis.set_major_formatter(matplotlib.ticker.StrMethodFormatter("{x:,.0f}"))
    heat.yaxis.set_major_formatter(matplotlib.ticker.StrMethodFormatter("{x:,.0f}"))
    fig.suptitle(args.title or f"Kavrosa tournament: {len(predator_ticks)} x {len(prey_ticks)} "
                 f"snapshots, {len(next(iter(cells.values())))} worlds a cell")
    fig.tight_layout()
    fig.savefig(args.output, dpi=90)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
