"""The sample generator: its files open strictly with olefile, hold exactly the intended stream
bytes, have a well-formed directory, and read back (with the reference reader) as the manifest says."""

import json
import os
import struct
import subprocess
import tempfile
import unittest

import olefile

from tools_paths import GEN_DIR, PYTHON, REFERENCE_DIR

import cfb_structure
import cfb_writer
import generate_samples
import sample_streams
import sample_values
from cfb_writer import Storage, Stream
from sample_streams import build_document


def open_strict(path):
    return olefile.OleFileIO(path, raise_defects=olefile.DEFECT_INCORRECT)


def header_fields(path):
    with open(path, "rb") as f:
        head = f.read(512)
    major, = struct.unpack_from("<H", head, 26)
    fat_sectors, = struct.unpack_from("<I", head, 44)
    difat_sectors, = struct.unpack_from("<I", head, 72)
    return major, fat_sectors, difat_sectors


def check_sibling_tree(test, ole, storage_entry):
    """In-order names follow the compound-file order; red-black rules hold; returns the names."""
    entries = ole.direntries

    def walk(sid, depth_black):
        if sid == cfb_writer.NOSTREAM:
            return [], depth_black
        e = entries[sid]
        if e.color == cfb_writer.RED:
            for child in (e.sid_left, e.sid_right):
                if child != cfb_writer.NOSTREAM:
                    test.assertEqual(entries[child].color, cfb_writer.BLACK, "red entry with red child")
        black = depth_black + (1 if e.color == cfb_writer.BLACK else 0)
        left, hl = walk(e.sid_left, black)
        right, hr = walk(e.sid_right, black)
        test.assertEqual(hl, hr, "black heights differ below %r" % e.name)
        return left + [e.name] + right, hl

    names, _ = walk(storage_entry.sid_child, 0)
    test.assertEqual(names, sorted(names, key=cfb_writer.name_key))
    if storage_entry.sid_child != cfb_writer.NOSTREAM:
        test.assertEqual(entries[storage_entry.sid_child].color, cfb_writer.BLACK)
    return names


class GeneratedCollection(unittest.TestCase):
    """One nested collection with every kind of document, written once for all checks."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.out = cls.tmp.name
        cls.plans = generate_samples.plan_collection(48, seed=7, big=1, nested=True)
        generate_samples.write_documents(cls.out, cls.plans)
        with open(os.path.join(cls.out, "manifest.json"), encoding="utf-8") as f:
            cls.manifest = json.load(f)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def path(self, plan):
        return os.path.join(self.out, plan.relative_path)

    def test_collection_covers_every_variant(self):
        seen = {(p.version, p.summary_codepage) for p in self.plans}
        self.assertTrue({(3, 1252), (3, 932), (3, 1200), (4, 1200)} <= seen, seen)
        self.assertTrue(any(p.custom is None for p in self.plans))
        self.assertTrue(any(p.custom and p.hauptmasse_text() for p in self.plans))
        self.assertEqual({p.kind for p in self.plans}, set(sample_values.KINDS))
        self.assertTrue(any(os.sep in p.relative_path or "/" in p.relative_path for p in self.plans))
        self.assertTrue(any(p.relative_path[-3:].isupper() for p in self.plans))
        self.assertEqual(sorted(self.manifest), sorted(p.relative_path for p in self.plans))

    def test_every_stream_holds_the_intended_bytes(self):
        for plan in self.plans:
            intended = {"/".join(names): s for names, s in build_document(plan).walk()}
            self.assertEqual(cfb_structure.check(self.path(plan)), [], plan.relative_path)
            with open_strict(self.path(plan)) as ole:
                found = {"/".join(e) for e in ole.listdir(streams=True, storages=False)}
                self.assertEqual(found, set(intended), plan.relative_path)
                for name, stream in intended.items():
                    self.assertEqual(ole.openstream(name).read(), stream.content(), (plan.relative_path, name))
                self.assertEqual(ole.root.clsid, sample_streams.ROOT_CLSID[plan.kind])
                major, _, _ = header_fields(self.path(plan))
                self.assertEqual(major, plan.version)
                self.assertEqual(ole.sector_size, 512 if plan.version == 3 else 4096)

    def test_directory_trees_are_ordered_red_black_trees(self):
        for plan in self.plans[:12]:
            with open_strict(self.path(plan)) as ole:
                for entry in ole.direntries:
                    if entry is not None and entry.entry_type in (olefile.STGTY_ROOT, olefile.STGTY_STORAGE):
                        check_sibling_tree(self, ole, entry)

    def test_big_document_uses_difat_sectors(self):
        big = [p for p in self.plans if p.big]
        self.assertEqual(len(big), 1)
        path = self.path(big[0])
        self.assertGreater(os.path.getsize(path), 7 * 1024 * 1024)
        major, fat_sectors, difat_sectors = header_fields(path)
        self.assertEqual(major, 3)
        self.assertGreater(fat_sectors, 109)
        self.assertGreaterEqual(difat_sectors, 1)

    def test_reference_reader_reads_the_manifest_texts(self):
        files = [self.path(p) for p in self.plans]
        out = subprocess.run([PYTHON, os.path.join(REFERENCE_DIR, "read_props.py"), *files],
                             check=True, capture_output=True)
        texts = json.loads(out.stdout.decode("utf-8"))
        for plan in self.plans:
            self.assertEqual(texts[self.path(plan)], self.manifest[plan.relative_path], plan.relative_path)


class ChosenValues(unittest.TestCase):
    """Documents with hand-picked values, read back by the reference reader, against literal texts."""

    def write_and_read(self, plan):
        import read_props
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "doc." + plan.kind)
            cfb_writer.write_compound_file(path, build_document(plan), plan.version)
            return read_props.thirteen_texts(path)

    def plan(self, style, kind="par", version=3):
        plan = sample_values.plan_document(3, 5, kind, version, style, model_bytes=5000)
        plan.without_project_stream = False
        plan.without_mechanical_stream = kind in ("asm", "dft")
        plan.values.update(docnumber="DN 1", revision="B", title=" ", subject="", keywords="x", category="K",
                           project="P", company="Firma", author="Autor", material="Stahl")
        plan.status = 3
        return plan

    def test_comment_line_pairs_nul_and_long_text(self):
        for style in sample_values.STYLES:
            plan = self.plan(style)
            plan.values["comments"] = "a\r\n\r\nb\nc\rd\r\n"
            plan.custom = [("HAUPTMAßE", "i4", -42), ("Density", "text", "1")]
            texts = self.write_and_read(plan)
            self.assertEqual(texts, ["DN 1", "B", "3", " ", "", "a, , b\nc\rd, ", "x", "K", "P", "Firma", "Autor",
                                     "-42", "Stahl"], style)
        plan = self.plan("western", kind="dft", version=4)
        plan.values["comments"] = "Zeile\r\n" * 6000
        plan.values["title"] = "vorn\0hinten"
        plan.custom = [("Hauptmaße", "text", "Ø 50 x 200")]
        texts = self.write_and_read(plan)
        self.assertEqual(texts[5], "Zeile, " * 6000)
        self.assertEqual(texts[3], "vorn")
        self.assertEqual(texts[11], "Ø 50 x 200")
        self.assertEqual(texts[12], "", "drafts have no MechanicalModeling set")

    def test_missing_sets_and_properties_read_empty(self):
        plan = self.plan("new")
        plan.without_project_stream = True
        plan.values["company"] = None
        plan.custom = [("Hauptmaße", "null", None)]
        texts = self.write_and_read(plan)
        self.assertEqual([texts[i] for i in (0, 1, 8, 9, 11)], [""] * 5)
        self.assertEqual(texts[10], "Autor")


class CompoundFileWriter(unittest.TestCase):
    def test_sibling_trees_of_every_size_are_valid(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "tree.cfb")
            children = [Storage("S%d" % n, [Stream("s%02d" % k, bytes([k])) for k in range(n)]) for n in range(1, 40)]
            children.append(Stream("ÄÖü long name with blanks", b"x" * 5000))
            cfb_writer.write_compound_file(path, Storage("Root Entry", children), 4)
            self.assertEqual(cfb_structure.check(path), [])
            with open_strict(path) as ole:
                for entry in ole.direntries:
                    if entry is not None and entry.entry_type in (olefile.STGTY_ROOT, olefile.STGTY_STORAGE):
                        names = check_sibling_tree(self, ole, entry)
                        if entry.name.startswith("S"):
                            self.assertEqual(len(names), int(entry.name[1:]))
                self.assertEqual(ole.openstream("S39/s38").read(), bytes([38]))

    def test_name_order_is_length_then_upper_case(self):
        names = ["b", "AB", "a", "Ab", "ß", "Zz", "aaa"]
        ordered = sorted(names, key=cfb_writer.name_key)
        self.assertEqual([len(n) for n in ordered], sorted(len(n) for n in names))
        self.assertLess(ordered.index("a"), ordered.index("b"))
        self.assertLess(ordered.index("b"), ordered.index("ß"))

    def test_large_sparse_stream_reads_back(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "big.cfb")
            size = 20 * 1024 * 1024 + 123
            cfb_writer.write_compound_file(path, Storage("Root Entry", [Stream("Big", b"head", size)]), 3)
            self.assertEqual(cfb_structure.check(path), [])
            with open_strict(path) as ole:
                data = ole.openstream("Big").read()
            self.assertEqual(len(data), size)
            self.assertEqual(data[:4], b"head")
            self.assertEqual(data.count(0), size - 4)


class FolderTree(unittest.TestCase):
    def test_tree_has_the_requested_entries_and_look_alikes(self):
        with tempfile.TemporaryDirectory() as tmp:
            out = subprocess.run([PYTHON, os.path.join(GEN_DIR, "make_tree.py"), "--out", tmp, "--entries", "3000"],
                                 check=True, capture_output=True)
            summary = json.loads(out.stdout)
            entries, depths, names = 0, [], set()
            for folder, dirs, files in os.walk(tmp):
                entries += len(dirs) + len(files)
                depths.append(os.path.relpath(folder, tmp).count(os.sep))
                names.update(dirs + files)
        self.assertEqual(entries, 3000)
        self.assertEqual(summary["folders"] + summary["files"], 3000)
        self.assertLessEqual(max(depths), 6)
        self.assertGreaterEqual(max(depths), 3)
        self.assertIn("PAR", names)
        self.assertTrue(any(n.endswith(".par.bak") for n in names))
        self.assertTrue({n.rsplit(".", 1)[-1] for n in names} >= {"par", "PAR", "asm", "ASM", "psm", "dft"})


if __name__ == "__main__":
    unittest.main()
