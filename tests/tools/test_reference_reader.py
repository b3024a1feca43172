"""The reference reader on the real Solid Edge documents and on damaged input, run as a separate
process like its users run it."""

import json
import os
import subprocess
import tempfile
import unittest

from tools_paths import PYTHON, REAL_SAMPLES, REFERENCE_DIR, real_sample_files


def run_reader(*args):
    return subprocess.run([PYTHON, os.path.join(REFERENCE_DIR, "read_props.py"), *args],
                          check=True, capture_output=True).stdout.decode("utf-8")


@unittest.skipUnless(os.path.isdir(REAL_SAMPLES), "real samples not present")
class RealSamples(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = real_sample_files()
        cls.texts = json.loads(run_reader(*cls.files))

    def test_every_sample_gives_thirteen_texts_and_known_values(self):
        self.assertGreaterEqual(len(self.files), 40)
        self.assertEqual(sorted(self.texts), self.files)
        for path, texts in self.texts.items():
            self.assertEqual(len(texts), 13, path)
            self.assertEqual(texts[2], "0", path)  # status
            self.assertEqual(texts[11], "", path)  # none of the samples has "Hauptmaße"
            if path.lower().endswith((".asm", ".dft")):
                self.assertEqual(texts[12], "", "assemblies and drafts carry no MechanicalModeling set")
        known = [("SEU14/003944_A.dft", 0, "003944"), ("SEU14/003944_A.dft", 1, "A"),  # ProjectInformation
                 ("SEU14/003944_A.dft", 8, "Manifold Block"),
                 ("Connecting-Rod/body.par", 3, "body"), ("Connecting-Rod/body.par", 10, "ARYAN BARI"),  # code page 1252
                 ("SEU14/2p261887e.dft", 10, "kde"),  # SummaryInformation in code page 932
                 ("SolidEdgeCAD/INVOLUTE GEAR.par", 12, "Stainless Steel, 303"),  # MechanicalModeling
                 ("24-Hydraulic-Jack_Solidedge/5.par", 3, " ")]  # a single blank is kept
        for relative, index, text in known:
            self.assertEqual(self.texts[os.path.join(REAL_SAMPLES, relative)][index], text, relative)

    def test_dump_decodes_every_property_set(self):
        dump = run_reader("--dump", *self.files)
        self.assertNotIn("ERROR", dump)
        self.assertNotIn("not a property set", dump)
        self.assertIn("'Status'", dump)


class DamagedInput(unittest.TestCase):
    def test_non_compound_and_missing_files_give_empty_texts(self):
        with tempfile.TemporaryDirectory() as tmp:
            junk = os.path.join(tmp, "junk.par")
            with open(junk, "wb") as f:
                f.write(b"not a compound file" * 100)
            texts = json.loads(run_reader(junk, os.path.join(tmp, "missing.par")))
        self.assertEqual(list(texts.values()), [[""] * 13, [""] * 13])


if __name__ == "__main__":
    unittest.main()
