#!/usr/bin/python3
"""What driving the world from Python costs: World.step(N) against kavrosa-evolve's own
loop, N calls of step(1) against one step(N), and two Worlds stepped in two threads
against one. Each measure is taken --repeats times; the median is printed, with the load
of the machine before and after (it is shared, so read the numbers with it).

    PYTHONPATH=build/python benchmarks/python_overhead.py [--ticks 100000] [--repeats 5]
"""
import argparse
import os
import statistics
import subprocess
import tempfile
import threading
import time

import kavrosa

HERE = os.path.dirname(os.path.abspath(__file__))


def program_seconds(evolve, ticks, seed, predators, prey):
    with tempfile.TemporaryDirectory() as folder:
        started = time.perf_counter()
        subprocess.run([evolve, "-C", folder, "--seed", str(seed), "--ticks", str(ticks),
                        "--predators", str(predators), "--prey", str(prey), "--progress", "0",
                        "--save-every", "0"], check=True, stdout=subprocess.DEVNULL)
        return time.perf_counter() - started


def two_programs_seconds(evolve, ticks, seed, predators, prey):
    """Two kavrosa-evolve at once: what the machine gives two busy threads just now."""
    with tempfile.TemporaryDirectory() as a, tempfile.TemporaryDirectory() as b:
        started = time.perf_counter()
        programs = [subprocess.Popen([evolve, "-C", folder, "--seed", str(seed + k), "--ticks",
                                      str(ticks), "--predators", str(predators), "--prey",
                                      str(prey), "--progress", "0", "--save-every", "0"],
                                     stdout=subprocess.DEVNULL)
                    for k, folder in enumerate((a, b))]
        for p in programs:
            if p.wait() != 0:
                raise RuntimeError("kavrosa-evolve failed")
        return time.perf_counter() - started


def step_seconds(ticks, seed, predators, prey):
    w = kavrosa.World(seed=seed, predators=predators, prey=prey)
    started = time.perf_counter()
    w.step(ticks)
    return time.perf_counter() - started


def single_steps_seconds(ticks, seed, predators, prey):
    w = kavrosa.World(seed=seed, predators=predators, prey=prey)
    step = w.step
    started = time.perf_counter()
    for _ in range(ticks):
        step(1)
    return time.perf_counter() - started


def two_threads_seconds(ticks, seed, predators, prey):
    worlds = [kavrosa.World(seed=seed + k, predators=predators, prey=prey) for k in range(2)]
    threads = [threading.Thread(target=w.step, args=(ticks,)) for w in worlds]
    started = time.perf_counter()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return time.perf_counter() - started


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ticks", type=int, default=100000)
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--predators", type=int, default=10)
    parser.add_argument("--prey", type=int, default=150)
    parser.add_argument("--evolve", default=os.path.join(HERE, "..", "build", "kavrosa-evolve"))
    args = parser.parse_args()
    sizes = (args.ticks, args.seed, args.predators, args.prey)
    load_before = os.getloadavg()
    runs = {"program": [], "step": [], "step1": [], "one": [], "two": [], "programs": []}
    # Interleaved, so that a change in the machine's load touches every measure alike.
    for _ in range(args.repeats):
        runs["program"].append(program_seconds(args.evolve, *sizes))
        runs["step"].append(step_seconds(*sizes))
        runs["step1"].append(single_steps_seconds(*sizes))
        # One World on the second seed, so that both halves of the threaded run are timed alone too.
        runs["one"].append((step_seconds(*sizes) +
                            step_seconds(args.ticks, args.seed + 1, args.predators, args.prey)) / 2)
        runs["two"].append(two_threads_seconds(*sizes))
        runs["programs"].append(two_programs_seconds(args.evolve, *sizes))
    load_after = os.getloadavg()
    median = {k: statistics.median(v) for k, v in runs.items()}
    rate = lambda seconds: args.ticks / seconds
    print(f"{args.ticks} ticks, seed {args.seed}, {args.predators} Predators, {args.prey} Prey, "
          f"median of {args.repeats}; load average {load_before[0]:.2f} before, "
          f"{load_after[0]:.2f} after, on {os.cpu_count()} cores")
    print(f"kavrosa-evolve --ticks {args.ticks}: {rate(median['program']):10.0f} ticks/s")
    print(f"World.step({args.ticks}):        {rate(median['step']):10.0f} ticks/s "
          f"({median['step'] / median['program']:.3f} x the program's time)")
    print(f"World.step(1) x {args.ticks}:    {rate(median['step1']):10.0f} ticks/s "
          f"({median['step1'] / median['step']:.2f} x the time of one step({args.ticks}))")
    print(f"two Worlds in two threads:    {2 * rate(median['two']):10.0f} ticks/s "
          f"({2 * median['one'] / median['two']:.2f} x one World in one thread)")
    print(f"two programs at once:         {2 * rate(median['programs']):10.0f} ticks/s "
          f"({2 * median['program'] / median['programs']:.2f} x one program: the machine's "
          f"ceiling now)")


if __name__ == "__main__":
    main()
