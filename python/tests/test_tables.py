"""read_table on a sweep's tables and on hand-written CSV: column types, quoted text,
refused tables."""
import os
import shutil
import subprocess
import tempfile
import unittest

import numpy as np

import kavrosa

EVOLVE = os.environ.get("KAVROSA_EVOLVE", "")
SWEEP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "sweep")


def write(folder, name, text):
    path = os.path.join(folder, name)
    with open(path, "w") as f:
        f.write(text)
    return path


class Tables(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def test_columns_take_the_narrowest_type(self):
        path = write(self.dir, "t.csv",
                     '# part 1/2: a heading line\n'
                     'run,seed,drag,note,gap\r\n'
                     '"a=1,b=2",1,0.12,x,\r\n'
                     'base,2,1,"say ""hi""",3\n'
                     'a=3,3,nan,7,1e3')  # no line break at the end
        table = kavrosa.read_table(path)
        self.assertEqual(list(table), ["run", "seed", "drag", "note", "gap"])
        self.assertEqual(table["run"].dtype, object)
        self.assertEqual(list(table["run"]), ["a=1,b=2", "base", "a=3"])
        self.assertEqual(table["seed"].dtype, np.int64)
        self.assertEqual(list(table["seed"]), [1, 2, 3])
        self.assertEqual(table["drag"].dtype, np.float64)
        self.assertEqual(table["drag"][:2].tolist(), [0.12, 1.0])
        self.assertTrue(np.isnan(table["drag"][2]))
        self.assertEqual(list(table["note"]), ["x", 'say "hi"', "7"])
        self.assertTrue(np.isnan(table["gap"][0]))
        self.assertEqual(table["gap"][1:].tolist(), [3.0, 1000.0])
        frame = kavrosa.read_table(path, as_frame=True)
        self.assertEqual(frame.shape, (3, 5))

    def test_tables_that_are_not_tables_raise(self):
        for text, message in (("", "no header"), ("a,b\n1,2\n3\n", "line 3 has 1 fields"),
                              ('a,b\n"1,2\n', "not closed"), ("a,a\n1,2\n", "a repeats")):
            with self.subTest(text=text):
                with self.assertRaisesRegex(ValueError, message):
                    kavrosa.read_table(write(self.dir, "bad.csv", text))
        with self.assertRaises(OSError):
            kavrosa.read_table(os.path.join(self.dir, "missing.csv"))

    @unittest.skipUnless(EVOLVE and shutil.which("parallel"), "no GNU parallel or no program")
    def test_a_sweeps_tables(self):
        plan = write(self.dir, "plan.toml", "ticks = 1000\nseeds = 1\narchive_every = 0\n"
                     "[vary]\npredator.starvation_ticks = [30, 50]\n")
        out = os.path.join(self.dir, "out")
        subprocess.run([SWEEP, plan, "-o", out, "-j", "2"], check=True,
                       stdout=subprocess.DEVNULL, env=dict(os.environ, KAVROSA_EVOLVE=EVOLVE))
        runs = kavrosa.read_table(os.path.join(out, "runs.csv"))
        final = kavrosa.read_table(os.path.join(out, "final.csv"))
        labels = ["predator.starvation_ticks=30", "predator.starvation_ticks=50"]
        self.assertEqual(list(runs)[:3], ["run", "seed", "predator.starvation_ticks"])
        self.assertEqual(list(final["run"]), labels)
        self.assertEqual(final["predator.starvation_ticks"].tolist(), [30, 50])
        self.assertEqual(final["seed"].tolist(), [1, 1])
        self.assertEqual(sorted(set(runs["run"])), labels)
        for label in labels:
            log = kavrosa.read_log(os.path.join(out, label, "seed-1", "log.csv"))
            mine = runs["run"] == label
            self.assertEqual(mine.sum(), 5)
            for name, column in log.items():
                np.testing.assert_array_equal(runs[name][mine], column, err_msg=name)
        frame = kavrosa.read_table(os.path.join(out, "runs.csv"), as_frame=True)
        self.assertEqual(list(frame.columns), list(runs))
