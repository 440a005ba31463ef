"""The module against the programs: same bits as kavrosa-evolve, the same columns as its
log and dump, copies that stay apart, and clear exceptions for bad input."""
import csv
import json
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


def evolve(folder, *args):
    subprocess.run([EVOLVE, "-C", folder, "--progress", "0", *args], check=True,
                   stdout=subprocess.DEVNULL)


def sidecar_state(folder):
    """The sidecar without its run history, which records who ran when."""
    with open(os.path.join(folder, "genom.gen.json")) as f:
        state = json.load(f)
    del state["runs"]
    return state


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


@unittest.skipUnless(EVOLVE and os.path.exists(EVOLVE), "KAVROSA_EVOLVE names no program")
class SameBitsAsTheProgram(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def assertSameFolders(self, python_folder, program_folder):
        self.assertEqual(read_bytes(os.path.join(python_folder, "genom.gen")),
                         read_bytes(os.path.join(program_folder, "genom.gen")))
        self.assertEqual(sidecar_state(python_folder), sidecar_state(program_folder))

    def test_stepped_in_chunks_saves_the_programs_files(self):
        for seed, predators, prey, ticks in ((1, 10, 150, 20000), (2, 40, 200, 5000)):
            with self.subTest(seed=seed, predators=predators, prey=prey):
                w = kavrosa.World(seed=seed, predators=predators, prey=prey)
                chunks = [1, 199, 7, 1000, 3, 0, 2790]
                done = 0
                for n in chunks * (ticks // sum(chunks) + 1):
                    n = min(n, ticks - done)
                    w.step(n)
                    done += n
                self.assertEqual(w.tick, ticks)
                mine, theirs = (os.path.join(self.dir, f"{k}{seed}") for k in "pe")
                w.save(mine)
                os.mkdir(theirs)
                evolve(theirs, "--seed", str(seed), "--ticks", str(ticks),
                       "--predators", str(predators), "--prey", str(prey))
                self.assertSameFolders(mine, theirs)

    def test_load_step_save_continues_as_the_program(self):
        a, b = os.path.join(self.dir, "a"), os.path.join(self.dir, "b")
        os.mkdir(a)
        os.mkdir(b)
        evolve(a, "--seed", "3", "--ticks", "1234")
        evolve(b, "--seed", "3", "--ticks", "1234")
        w = kavrosa.World.load(a)
        self.assertEqual((w.tick, w.seed), (1234, 3))
        w.step(1766)
        w.save(a)
        evolve(b, "--ticks", "1766")
        self.assertSameFolders(a, b)
        # And the program continues what Python saved.
        evolve(a, "--ticks", "500")
        evolve(b, "--ticks", "500")
        self.assertSameFolders(a, b)

    def test_non_default_parameter(self):
        help_text = subprocess.run([EVOLVE, "--help"], capture_output=True, text=True).stdout
        if "--set" not in help_text:
            self.skipTest("kavrosa-evolve takes no --set")
        a = os.path.join(self.dir, "a")
        os.mkdir(a)
        evolve(a, "--seed", "4", "--ticks", "3000", "--set", "motion.drag=0.2")
        w = kavrosa.World(seed=4, params={"motion.drag": 0.2})
        w.step(3000)
        w.save(os.path.join(self.dir, "p"))
        self.assertEqual(read_bytes(os.path.join(self.dir, "p", "genom.gen")),
                         read_bytes(os.path.join(a, "genom.gen")))
        # The folder keeps its settings: loaded and stepped, it goes on as the program does.
        loaded = kavrosa.World.load(a)
        self.assertAlmostEqual(loaded.params["motion.drag"], 0.2, places=6)
        loaded.step(1000)
        loaded.save(a)
        w.step(1000)
        self.assertEqual(w.genomes().tobytes(), kavrosa.World.load(a).genomes().tobytes())

    def test_report_and_agents_have_the_columns_of_the_log_and_dump(self):
        log = os.path.join(self.dir, "log.csv")
        dump = os.path.join(self.dir, "dump.csv")
        evolve(self.dir, "--seed", "5", "--ticks", "1000", "--log", log, "--dump", dump)
        rows = kavrosa.read_log(log)
        self.assertEqual(list(rows["tick"]), [200, 400, 600, 800, 1000])
        w = kavrosa.World(seed=5)
        self.assertIsNone(w.report())
        for i in range(5):
            w.step(200)
            report = w.report()
            self.assertEqual(list(report), list(rows))
            for column, values in rows.items():
                mine, theirs = report[column], values[i]
                if math.isnan(mine):
                    self.assertTrue(math.isnan(theirs), column)
                else:
                    # The log writes the means with six decimals.
                    self.assertAlmostEqual(mine, theirs, places=5, msg=column)
        frame = kavrosa.read_log(log, as_frame=True)
        self.assertEqual(frame["captures"].sum(), rows["captures"].sum())

        agents = w.agents()
        with open(dump) as f:
            dumped = list(csv.DictReader(f))
        self.assertEqual(len(dumped), 240)
        pairs = {"kind": "kind", "slot": "slot", "in_use": "inUse", "rank": "rank",
                 "generation": "generation", "age": "age", "x": "nextX", "y": "nextY",
                 "vx": "vx", "vy": "vy", "heading": "heading", "energy": "energy",
                 "catches": "catches", "ticks_since_catch": "ticksSinceCatch",
                 "captured": "captured", "dead": "dead"}
        self.assertEqual(sorted(agents), sorted(pairs))
        for mine, theirs in pairs.items():
            column = agents[mine]
            self.assertEqual(column.shape, (240,))
            expected = [row[theirs] for row in dumped]
            if column.dtype.kind == "U":
                self.assertEqual(list(column), expected, mine)
            elif column.dtype.kind == "f":
                np.testing.assert_array_equal(column, np.array(expected, dtype=np.float32), mine)
            else:
                np.testing.assert_array_equal(column.astype(np.int64),
                                              np.array(expected, dtype=np.int64), mine)

    def test_a_folder_in_use_is_refused(self):
        running = subprocess.Popen([EVOLVE, "-C", self.dir, "--progress", "0"],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            deadline = time.monotonic() + 30
            while not os.path.exists(os.path.join(self.dir, "genom.gen")):
                self.assertLess(time.monotonic(), deadline, "kavrosa-evolve saved nothing")
                time.sleep(0.05)
            with self.assertRaisesRegex(OSError, "process"):
                kavrosa.World.load(self.dir)
            with self.assertRaisesRegex(OSError, "process"):
                kavrosa.World().save(self.dir)
        finally:
            running.terminate()
            running.wait()
        kavrosa.World.load(self.dir)  # free again


class Worlds(unittest.TestCase):
    def test_copies_and_arrays_stay_apart(self):
        w = kavrosa.World(seed=9, params={"energy.thrust_cost": 0.25})
        w.step(450)
        c = w.copy()
        for getter in ("genomes", "inputs", "outputs"):
            np.testing.assert_array_equal(getattr(c, getter)(), getattr(w, getter)(), getter)
        genomes = w.genomes()
        genomes[:] = 0  # a copy: the world is unchanged
        self.assertTrue(w.genomes().any())
        c.step(777)
        w.step(300)
        w.step(477)
        self.assertEqual(c.tick, 1227)
        np.testing.assert_array_equal(c.genomes(), w.genomes())
        np.testing.assert_array_equal(c.inputs(), w.inputs())
        self.assertEqual(repr(c.report()), repr(w.report()))  # NaN equal to NaN
        self.assertEqual(c.params["energy.thrust_cost"], 0.25)
        self.assertEqual(c.params["motion.drag"], 0.1)

        genome = np.linspace(-1, 1, 63, dtype=np.float32)
        c.set_genome(47, genome)
        np.testing.assert_array_equal(c.genomes()[47], genome)
        self.assertFalse((w.genomes()[47] == genome).all())
        c.step(1)
        w.step(1)
        self.assertFalse(np.array_equal(c.outputs()[47], w.outputs()[47]))

    def test_step_releases_the_gil(self):
        w = kavrosa.World(predators=40, prey=200)
        started = time.monotonic()
        w.copy().step(300)
        per_tick = (time.monotonic() - started) / 300
        ticks = int(1.0 / per_tick) + 1  # about a second of stepping
        stepper = threading.Thread(target=w.step, args=(ticks,))
        stamps = [time.monotonic()]  # start() itself may wait for the GIL
        stepper.start()
        while stepper.is_alive():
            stamps.append(time.monotonic())
            time.sleep(0.001)
        stamps.append(time.monotonic())  # the step's end closes the last gap
        stepper.join()
        self.assertEqual(w.tick, ticks)
        longest = max(np.diff(stamps))
        # With the GIL held the loop would stall for the whole step.
        self.assertLess(longest, 0.5, f"this thread stalled for {longest:.2f} s of the step")

    def test_bad_input_raises(self):
        w = kavrosa.World()
        good = np.zeros(63, np.float32)
        cases = [
            (TypeError, "float32", lambda: w.set_genome(0, np.zeros(63))),
            (TypeError, "NumPy", lambda: w.set_genome(0, [0.0] * 63)),
            (ValueError, r"\(63,\), not \(62,\)", lambda: w.set_genome(0, good[:62])),
            (ValueError, r"not \(1, 63\)", lambda: w.set_genome(0, good.reshape(1, 63))),
            (IndexError, "0-239", lambda: w.set_genome(240, good)),
            (IndexError, "0-239", lambda: w.set_genome(-1, good)),
            (ValueError, "weight 5 is nan", lambda: w.set_genome(3, np.where(
                np.arange(63) == 5, np.float32("nan"), good).astype(np.float32))),
            (ValueError, "predator.radius", lambda: kavrosa.World(params={"predator.radios": 1})),
            (ValueError, "motion.drag", lambda: kavrosa.World(params={"motion.drag": 11})),
            (TypeError, "bool", lambda: kavrosa.World(params={"motion.drag": True})),
            (ValueError, "arena", lambda: kavrosa.World(params={"arena.x_min": 6})),
            (ValueError, "1-40", lambda: kavrosa.World(predators=41)),
            (ValueError, "1-200", lambda: kavrosa.World(prey=0)),
            (ValueError, ">= 0", lambda: w.step(-1)),
        ]
        for error, message, call in cases:
            with self.subTest(message=message):
                with self.assertRaisesRegex(error, message):
                    call()
        np.testing.assert_array_equal(w.genomes()[0], kavrosa.World().genomes()[0])

    def test_bad_files_raise(self):
        with tempfile.TemporaryDirectory() as folder:
            with self.assertRaises(FileNotFoundError):
                kavrosa.World.load(folder)
            with open(os.path.join(folder, "genom.gen"), "wb") as f:
                f.write(b"\0" * 1000)
            with self.assertRaisesRegex(ValueError, "1000 bytes"):
                kavrosa.World.load(folder)
            log = os.path.join(folder, "log.csv")
            for text, message in (("tick,x\n1,2\n", "header"),
                                  (None, "line 3 is not a row")):
                if text is None:
                    w = kavrosa.World()
                    w.step(200)
                    header = ",".join(w.report())
                    row = ",".join(str(v) for v in w.report().values())
                    text = f"{header}\n{row}\n1,2,3\n"
                with open(log, "w") as f:
                    f.write(text)
                with self.assertRaisesRegex(ValueError, message):
                    kavrosa.read_log(log)
            with self.assertRaises(OSError):
                kavrosa.read_log(os.path.join(folder, "none.csv"))


if __name__ == "__main__":
    unittest.main()
