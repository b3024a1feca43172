"""The developer tools in tools/. The sample generator's files are well-formed to the letter (cfb_structure),
open strictly with olefile, hold exactly the intended stream bytes, have ordered red-black directory trees, and
read back (with the reference reader) as the manifest says. The reference reader: known values of the real
Solid Edge documents, chosen values and damaged input."""

import json
import os
import struct
import subprocess
import sys
import tempfile
import unittest

import olefile

SOURCE_DIR = os.environ.get("FENDRIK_SOURCE_DIR") or os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
REAL_SAMPLES = os.environ.get("FENDRIK_REAL_SAMPLES") or os.path.join(os.path.dirname(SOURCE_DIR), "shared", "samples", "real")
READER = os.path.join(SOURCE_DIR, "tools", "reference", "read_props.py")
sys.path[:0] = [os.path.join(SOURCE_DIR, "tools", "reference"), os.path.join(SOURCE_DIR, "tools", "gen")]

import cfb_structure  # noqa: E402
import cfb_writer  # noqa: E402
import generate_samples  # noqa: E402
import read_props  # noqa: E402
import sample_streams  # noqa: E402
import sample_values  # noqa: E402
from cfb_writer import NOSTREAM, Storage, Stream  # noqa: E402
from sample_streams import build_document  # noqa: E402


def run_reader(*args):
    return subprocess.run(["/usr/bin/python3", READER, *args], check=True, capture_output=True).stdout.decode("utf-8")


def open_strict(path):
    return olefile.OleFileIO(path, raise_defects=olefile.DEFECT_INCORRECT)


def check_sibling_trees(test, ole):
    """In every storage the in-order names follow the compound-file order and the red-black rules
    hold; gives {storage name: child names}."""
    entries = ole.direntries

    def walk(sid, black):
        if sid == NOSTREAM:
            return [], black
        e = entries[sid]
        if e.color == cfb_writer.RED:
            test.assertFalse(any(c != NOSTREAM and entries[c].color == cfb_writer.RED for c in (e.sid_left, e.sid_right)),
                             "red entry with red child")
        black += e.color == cfb_writer.BLACK
        (left, hl), (right, hr) = walk(e.sid_left, black), walk(e.sid_right, black)
        test.assertEqual(hl, hr, "black heights differ below %r" % e.name)
        return left + [e.name] + right, hl

    children = {}
    for e in entries:
        if e is not None and e.entry_type in (olefile.STGTY_ROOT, olefile.STGTY_STORAGE):
            names, _ = walk(e.sid_child, 0)
            test.assertEqual(names, sorted(names, key=cfb_writer.name_key))
            test.assertTrue(e.sid_child == NOSTREAM or entries[e.sid_child].color == cfb_writer.BLACK)
            children[e.name] = names
    return children


class GeneratedCollection(unittest.TestCase):
    """One nested collection with every kind of document, written once for all checks."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.plans = generate_samples.plan_collection(48, seed=7, big=1, nested=True)
        generate_samples.write_documents(cls.tmp.name, cls.plans)
        with open(os.path.join(cls.tmp.name, "manifest.json"), encoding="utf-8") as f:
            cls.manifest = json.load(f)
        cls.paths = [os.path.join(cls.tmp.name, p.relative_path) for p in cls.plans]

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_collection_covers_every_variant(self):
        self.assertLessEqual({(3, 1252), (3, 932), (3, 1200), (4, 1200)}, {(p.version, p.summary_codepage) for p in self.plans})
        self.assertTrue(any(p.custom is None for p in self.plans) and any(p.custom and p.hauptmasse_text() for p in self.plans))
        self.assertEqual({p.kind for p in self.plans}, set(sample_values.KINDS))
        self.assertEqual(sum(p.big for p in self.plans), 1)
        self.assertTrue(any("/" in p.relative_path for p in self.plans) and any(p.relative_path[-3:].isupper() for p in self.plans))
        self.assertEqual(sorted(self.manifest), sorted(p.relative_path for p in self.plans))

    def test_every_file_is_well_formed_and_holds_the_intended_streams(self):
        for index, (plan, path) in enumerate(zip(self.plans, self.paths)):
            intended = {"/".join(names): s for names, s in build_document(plan).walk()}
            self.assertEqual(cfb_structure.check(path), [], plan.relative_path)
            with open_strict(path) as ole:
                self.assertEqual({"/".join(e) for e in ole.listdir(streams=True, storages=False)}, set(intended))
                for name, stream in intended.items():
                    self.assertEqual(ole.openstream(name).read(), stream.content(), (plan.relative_path, name))
                self.assertEqual(ole.root.clsid, sample_streams.ROOT_CLSID[plan.kind])
                self.assertEqual((ole.dll_version, ole.sector_size), (plan.version, 512 if plan.version == 3 else 4096))
                if index < 12:
                    check_sibling_trees(self, ole)
            if plan.big:  # version 3, more FAT sectors than the header lists, so DIFAT sectors
                with open(path, "rb") as f:
                    head = f.read(512)
                self.assertGreater(os.path.getsize(path), 7 * 1024 * 1024)
                self.assertEqual(struct.unpack_from("<H", head, 26)[0], 3)
                self.assertGreater(struct.unpack_from("<I", head, 44)[0], 109)
                self.assertGreaterEqual(struct.unpack_from("<I", head, 72)[0], 1)

    def test_reference_reader_reads_the_manifest_texts(self):
        texts = json.loads(run_reader(*self.paths))
        for plan, path in zip(self.plans, self.paths):
            self.assertEqual(texts[path], self.manifest[plan.relative_path], plan.relative_path)


class ChosenValues(unittest.TestCase):
    """Documents with hand-picked values or none, read back by the reference reader, against literal texts."""

    def read_back(self, style="new", kind="par", version=3, **changes):
        plan = sample_values.plan_document(3, 5, kind, version, style, model_bytes=5000)
        plan.without_project_stream = False
        plan.without_mechanical_stream = kind in ("asm", "dft")
        plan.values.update(docnumber="DN 1", revision="B", title=" ", subject="", keywords="x", category="K",
                           project="P", company="Firma", author="Autor", material="Stahl")
        plan.status = 3
        for name, value in changes.items():
            if hasattr(plan, name):
                setattr(plan, name, value)
            else:
                plan.values[name] = value
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "doc." + kind)
            cfb_writer.write_compound_file(path, build_document(plan), version)
            return read_props.thirteen_texts(path)

    def test_comment_line_pairs_nul_and_long_text(self):
        for style in sample_values.STYLES:
            texts = self.read_back(style, comments="a\r\n\r\nb\nc\rd\r\n",
                                   custom=[("HAUPTMAßE", "i4", -42), ("Density", "text", "1")])
            self.assertEqual(texts, ["DN 1", "B", "3", " ", "", "a, , b\nc\rd, ", "x", "K", "P", "Firma", "Autor",
                                     "-42", "Stahl"], style)
        texts = self.read_back("western", "dft", 4, comments="Zeile\r\n" * 6000, title="vorn\0hinten",
                               custom=[("Hauptmaße", "text", "Ø 50 x 200")])
        self.assertEqual([texts[5], texts[3], texts[11]], ["Zeile, " * 6000, "vorn", "Ø 50 x 200"])
        self.assertEqual(texts[12], "", "drafts have no MechanicalModeling set")

    def test_non_compound_and_missing_files_give_empty_texts(self):
        with tempfile.TemporaryDirectory() as tmp:
            junk = os.path.join(tmp, "junk.par")
            with open(junk, "wb") as f:
                f.write(b"not a compound file" * 100)
            texts = json.loads(run_reader(junk, os.path.join(tmp, "missing.par")))
        self.assertEqual(list(texts.values()), [[""] * 13, [""] * 13])

    def test_missing_sets_and_properties_read_empty(self):
        texts = self.read_back(without_project_stream=True, company=None, custom=[("Hauptmaße", "null", None)])
        self.assertEqual([texts[i] for i in (0, 1, 8, 9, 10, 11)], ["", "", "", "", "Autor", ""])


class CompoundFileWriter(unittest.TestCase):
    def test_sibling_trees_of_every_size_are_valid(self):
        # Names order by length, then upper-cased.
        ordered = sorted(["b", "AB", "a", "Ab", "ß", "Zz", "aaa"], key=cfb_writer.name_key)
        self.assertEqual([len(n) for n in ordered], [1, 1, 1, 2, 2, 2, 3])
        self.assertLess(ordered.index("a"), ordered.index("b"))
        self.assertLess(ordered.index("b"), ordered.index("ß"))
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "tree.cfb")
            children = [Storage("S%d" % n, [Stream("s%02d" % k, bytes([k])) for k in range(n)]) for n in range(1, 40)]
            cfb_writer.write_compound_file(path, Storage("Root Entry", children + [Stream("ÄÖü long name", b"x" * 5000)]), 4)
            self.assertEqual(cfb_structure.check(path), [])
            with open_strict(path) as ole:
                children = check_sibling_trees(self, ole)
                self.assertEqual([len(children["S%d" % n]) for n in range(1, 40)], list(range(1, 40)))
                self.assertEqual(ole.openstream("S39/s38").read(), bytes([38]))


@unittest.skipUnless(os.path.isdir(REAL_SAMPLES), "real samples not present")
class RealSampleReferenceReader(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = sorted(os.path.join(folder, name) for folder, _, files in os.walk(REAL_SAMPLES)
                           for name in files if name.lower().endswith((".par", ".asm", ".psm", ".dft")))
        cls.texts = json.loads(run_reader(*cls.files))

    def test_every_sample_gives_thirteen_texts_known_values_and_a_whole_dump(self):
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
        dump = run_reader("--dump", *self.files)  # every property set decoded
        self.assertTrue("'Status'" in dump and "ERROR" not in dump and "not a property set" not in dump)



if __name__ == "__main__":
    unittest.main()
