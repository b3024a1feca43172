"""The reference reader on the real Solid Edge documents, run as a separate process like its users run it."""

import json
import os
import subprocess
import unittest

from tools_paths import PYTHON, REAL_SAMPLES, REFERENCE_DIR, real_sample_files


def run_reader(*args):
    out = subprocess.run([PYTHON, os.path.join(REFERENCE_DIR, "read_props.py"), *args],
                         check=True, capture_output=True)
    return out.stdout.decode("utf-8")


@unittest.skipUnless(os.path.isdir(REAL_SAMPLES), "real samples not present")
class RealSamples(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = real_sample_files()
        cls.texts = json.loads(run_reader(*cls.files))

    def text(self, relative, index):
        return self.texts[os.path.join(REAL_SAMPLES, relative)][index]

    def test_every_sample_gives_thirteen_texts_with_status_zero(self):
        self.assertGreaterEqual(len(self.files), 40)
        self.assertEqual(sorted(self.texts), self.files)
        for path, texts in self.texts.items():
            self.assertEqual(len(texts), 13, path)
            self.assertTrue(all(isinstance(t, str) for t in texts), path)
            self.assertEqual(texts[2], "0", path)

    def test_known_values_from_each_kind_of_set(self):
        self.assertEqual(self.text("SEU14/003944_A.dft", 0), "003944")       # ProjectInformation
        self.assertEqual(self.text("SEU14/003944_A.dft", 1), "A")
        self.assertEqual(self.text("SEU14/003944_A.dft", 8), "Manifold Block")
        self.assertEqual(self.text("Connecting-Rod/body.par", 3), "body")      # SummaryInformation, 1252
        self.assertEqual(self.text("Connecting-Rod/body.par", 10), "ARYAN BARI")
        self.assertEqual(self.text("SEU14/2p261887e.dft", 10), "kde")          # SummaryInformation, 932
        self.assertEqual(self.text("SolidEdgeCAD/INVOLUTE GEAR.par", 12), "Stainless Steel, 303")  # MechanicalModeling
        self.assertEqual(self.text("24-Hydraulic-Jack_Solidedge/5.par", 3), " ")  # single blank kept

    def test_sets_absent_by_type_read_empty(self):
        # Assemblies and drafts carry no MechanicalModeling set; none of the samples has "Hauptmaße".
        for path, texts in self.texts.items():
            if path.lower().endswith((".asm", ".dft")):
                self.assertEqual(texts[12], "", path)
            self.assertEqual(texts[11], "", path)

    def test_dump_decodes_every_property_set(self):
        dump = run_reader("--dump", *self.files)
        self.assertNotIn("ERROR", dump)
        self.assertNotIn("not a property set", dump)
        self.assertIn("'Status'", dump)


class DamagedInput(unittest.TestCase):
    def test_non_compound_and_missing_files_give_empty_texts(self):
        import tempfile
        with tempfile.TemporaryDirectory() as tmp:
            junk = os.path.join(tmp, "junk.par")
            with open(junk, "wb") as f:
                f.write(b"not a compound file" * 100)
            texts = json.loads(run_reader(junk, os.path.join(tmp, "missing.par")))
        self.assertEqual(list(texts.values()), [[""] * 13, [""] * 13])


if __name__ == "__main__":
    unittest.main()
