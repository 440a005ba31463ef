"""evaluate() against kavrosa-tournament's table for an archive of kavrosa-evolve, Worlds
as contestants, and clear exceptions for bad contestants."""
import csv
import math
import os
import subprocess
import tempfile
import threading
import time
import unittest

import numpy as np

import kavrosa

EVOLVE = os.environ.get("KAVROSA_EVOLVE", "")
TOURNAMENT = os.environ.get("KAVROSA_TOURNAMENT", "")
WHOLE = ["predatorTick", "preyTick", "world", "ticks", "captures", "starvations",
         "predatorDeaths", "preyDeaths", "preyEnds", "preyLifetimeSum"]
REAL = ["capturesPer1000", "starvationsPer1000", "meanPreyLifetime"]


@unittest.skipUnless(EVOLVE and TOURNAMENT and os.path.exists(TOURNAMENT),
                     "KAVROSA_EVOLVE and KAVROSA_TOURNAMENT name no programs")
class SameScoresAsTheTournament(unittest.TestCase):
    def test_every_cell_of_an_archive(self):
        with tempfile.TemporaryDirectory() as tmp:
            run = os.path.join(tmp, "run")
            os.mkdir(run)
            # A parameter off its standard value: the worlds take the run's model.
            subprocess.run([EVOLVE, "-C", run, "--progress", "0", "--ticks", "3000",
                            "--archive-every", "1500", "--predators", "12", "--prey", "90",
                            "--set", "predator.starvation_ticks=40"],
                           check=True, stdout=subprocess.DEVNULL)
            table = os.path.join(tmp, "t.csv")
            subprocess.run([TOURNAMENT, "-C", run, "-o", table, "--ticks", "400", "--worlds",
                            "3", "--seed", "7", "--threads", "2"],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            with open(table) as f:
                rows = list(csv.DictReader(f))
            snapshots = kavrosa.read_archive(run)
        self.assertEqual([s["tick"] for s in snapshots], [0, 1500, 3000])
        self.assertEqual(snapshots[1]["predators"].shape, (12, 63))
        self.assertEqual(snapshots[1]["prey"].shape, (90, 63))
        self.assertEqual(snapshots[2]["params"]["predator.starvation_ticks"], 40)
        # The arrays alone, with the run's model and the snapshots' ticks given.
        arrays = kavrosa.evaluate(snapshots[2]["predators"], snapshots[1]["prey"], ticks=400,
                                  worlds=3, seed=7, params={"predator.starvation_ticks": 40},
                                  predator_tick=3000, prey_tick=1500)
        for hunters in snapshots:
            for hunted in snapshots:
                got = kavrosa.evaluate(hunters, hunted, ticks=400, worlds=3, seed=7)
                if (hunters["tick"], hunted["tick"]) == (3000, 1500):
                    for name in WHOLE:
                        np.testing.assert_array_equal(arrays[name], got[name], err_msg=name)
                want = [r for r in rows if int(r["predatorTick"]) == hunters["tick"]
                        and int(r["preyTick"]) == hunted["tick"]]
                self.assertEqual(len(want), 3)
                for k, row in enumerate(want):
                    for name in WHOLE:
                        self.assertEqual(got[name][k], int(row[name]), (hunters["tick"], hunted["tick"], k, name))
                    for name in REAL:
                        expected = float(row[name])
                        if math.isnan(expected):
                            self.assertTrue(math.isnan(got[name][k]))
                        else:
                            self.assertAlmostEqual(got[name][k], expected, delta=1e-9 * abs(expected))
        self.assertGreater(sum(int(r["captures"]) for r in rows), 0)


class Contestants(unittest.TestCase):
    def test_worlds_as_contestants_and_threads(self):
        w = kavrosa.World(seed=3, predators=8, prey=60, params={"motion.drag": 0.12})
        w.step(400)
        genomes = w.genomes()
        from_world = kavrosa.evaluate(w, w, ticks=300, worlds=3, threads=2)
        from_arrays = kavrosa.evaluate(genomes[:8], genomes[40:100], ticks=300, worlds=3,
                                       params={"motion.drag": 0.12}, predator_tick=400,
                                       prey_tick=400)
        self.assertEqual(set(from_world), set(WHOLE + REAL))
        for name in WHOLE + REAL:
            np.testing.assert_array_equal(from_world[name], from_arrays[name], err_msg=name)
        self.assertEqual(list(from_world["world"]), [0, 1, 2])
        # The snapshots' ticks go into the worlds' seeds.
        other = kavrosa.evaluate(w, w, ticks=300, worlds=3, prey_tick=0)
        self.assertFalse(np.array_equal(other["preyLifetimeSum"], from_world["preyLifetimeSum"]))

    def test_bad_contestants_raise(self):
        good = np.zeros((5, 63), np.float32)
        nan = good.copy()
        nan[2, 9] = np.nan
        cases = [
            (TypeError, "float32", dict(predators=good.astype(np.float64))),
            (TypeError, "NumPy array", dict(prey=good.tolist())),
            (ValueError, r"\(5, 62\)", dict(predators=np.zeros((5, 62), np.float32))),
            (ValueError, "1 <= n <= 40", dict(predators=np.zeros((41, 63), np.float32))),
            (ValueError, "1 <= n <= 200", dict(prey=np.zeros((0, 63), np.float32))),
            (ValueError, r"\(63,\)", dict(prey=np.zeros(63, np.float32))),
            (ValueError, "row 2, weight 9", dict(prey=nan)),
            (ValueError, "ticks 0", dict(ticks=0)),
            (ValueError, "worlds", dict(worlds=0)),
            (ValueError, "prey_tick", dict(prey_tick=-1)),
            (ValueError, "no.such", dict(params={"no.such": 1})),
            (ValueError, 'has "prey"', dict(prey={"predators": good, "tick": 0, "params": {}})),
        ]
        for error, message, change in cases:
            with self.subTest(change=list(change)):
                arguments = dict(predators=good, prey=good, ticks=10, worlds=1) | change
                with self.assertRaisesRegex(error, message):
                    kavrosa.evaluate(**arguments)

    def test_evaluate_releases_the_gil(self):
        w = kavrosa.World(predators=40, prey=200)
        started = time.monotonic()
        kavrosa.evaluate(w, w, ticks=200, worlds=1)
        ticks = int(200 / (time.monotonic() - started)) + 1  # about a second of worlds
        worker = threading.Thread(target=kavrosa.evaluate, args=(w, w),
                                  kwargs=dict(ticks=ticks, worlds=1))
        stamps = [time.monotonic()]
        worker.start()
        while worker.is_alive():
            stamps.append(time.monotonic())
            time.sleep(0.001)
        stamps.append(time.monotonic())
        worker.join()
        longest = max(np.diff(stamps))
        self.assertLess(longest, 0.5, f"this thread stalled for {longest:.2f} s of the worlds")

    def test_an_archive_that_is_missing_raises(self):
        with tempfile.TemporaryDirectory() as tmp:
            with self.assertRaisesRegex(ValueError, "archive"):
                kavrosa.read_archive(tmp)
