"""The streams and storages of a sample document, built from its DocumentPlan.

Property sets follow the layout of real Solid Edge documents: code page and locale first,
the Solid Edge sets (ProjectInformation, ExtendedSummaryInformation, MechanicalModeling) with
their dictionary last, the Custom section with its dictionary first, ExtendedSummaryInformation
about 45 KB because of its two thumbnail values after "Username". The model storages carry
neutral names and seeded bytes followed by zeros.
"""

import random
import struct
import uuid
from functools import lru_cache

import propset_writer as pw
from cfb_writer import Storage, Stream

FMTID_SUMMARY = "F29F85E0-4FF9-1068-AB91-08002B27B3D9"
FMTID_DOCSUMMARY = "D5CDD502-2E9C-101B-9397-08002B2CF9AE"
FMTID_CUSTOM = "D5CDD505-2E9C-101B-9397-08002B2CF9AE"
FMTID_PROJECT = "F0D6D0B1-A0D8-11CE-8AA2-08003601E988"
FMTID_EXTENDED = "CC024FA2-6EB5-11CE-8AA2-08003601E988"
FMTID_MECHANICAL = "CC024FCA-6EB5-11CE-8AA2-08003601E988"
FMTID_VERSIONS = "1D60E652-7833-11D3-B83D-00C04F79B2C2"

STREAM_SUMMARY = "\x05SummaryInformation"
STREAM_DOCSUMMARY = "\x05DocumentSummaryInformation"
STREAM_PROJECT = "\x05Rfunnyd1AvtdbfkuIaamtae3Ie"
STREAM_EXTENDED = "\x05C3teagxwOttdbfkuIaamtae3Ie"
STREAM_MECHANICAL = "\x05K4teagxwOttdbfkuIaamtae3Ie"
STREAM_VERSIONS = "\x05SszbwomgY1udb2whAaq5u2jwCg"

ROOT_CLSID = {
    "par": "23C52E80-4698-11CE-B307-0800363A1E02",
    "asm": "00C6BF00-483B-11CE-951A-08003601BE52",
    "psm": "DD8522E0-2375-11D0-AC05-080036FD1802",
    "dft": "016B11FB-CDC0-11CE-A035-08003601E53B",
}

SYSTEM_NEW, SYSTEM_OLD = 0x0002000A, 0x00020105
THUMBNAIL_BYTES = 44496


@lru_cache(maxsize=None)
def thumbnail(variant):
    """A device-independent bitmap of the size real documents carry, the same for a given variant."""
    width, height = 124, 89
    header = struct.pack("<IIiiHHIIiiII", 8, 40, width, height, 1, 32, 0, width * height * 4, 2835, 2835, 0, 0)
    rng = random.Random(variant)
    row = bytes(rng.randrange(256) for _ in range(width * 4))
    pixels = (row * height)[: THUMBNAIL_BYTES - len(header)]
    return header + pixels + bytes(THUMBNAIL_BYTES - len(header) - len(pixels))


def _common(codepage, locale):
    return [(pw.PID_CODEPAGE, pw.i2(codepage)), (pw.PID_LOCALE, pw.ui4(locale))]


def _text_props(plan, fields, codepage, wide):
    """(pid, encoded) for (pid, field) pairs; a field whose value is None is left out."""
    return [(pid, pw.text_value(plan.values[field], codepage, wide))
            for pid, field in fields if plan.values.get(field) is not None]


def summary_stream(plan, rng):
    cp = plan.summary_codepage
    wide = cp == 1200 and plan.wide_summary
    created = 132442023048300000 + plan.index * 10_000_000
    props = _common(cp, plan.locale)
    props += _text_props(plan, [(2, "title"), (3, "subject"), (4, "author"), (5, "keywords"), (6, "comments")], cp, wide)
    props += [(7, pw.text_value("Normal.%s" % plan.kind, cp, wide)),
              (8, pw.text_value(rng.choice(["DELL", "robert", "cad01"]), cp, wide)),
              (9, pw.text_value(str(rng.randrange(1, 40)), cp, wide)),
              (10, pw.filetime(0)), (11, pw.filetime(0)), (12, pw.filetime(created)),
              (13, pw.filetime(created + 3_600_000_000)), (14, pw.i4(0)), (15, pw.i4(0)), (16, pw.i4(0)),
              (17, pw.clipboard(-1, b"")), (18, pw.text_value("Solid Edge", cp, wide)),
              (19, pw.i4(4 if plan.status >= 3 else 0))]
    section = pw.section(props, spare_slots=2)
    return pw.stream(FMTID_SUMMARY, _system(plan), [(FMTID_SUMMARY, section)])


def docsummary_stream(plan):
    cp = plan.summary_codepage
    wide = cp == 1200 and plan.wide_summary
    props = _common(cp, plan.locale)
    props += _text_props(plan, [(2, "category")], cp, wide) + [(3, pw.text_value("", cp, wide))]
    props += [(pid, pw.i4(0)) for pid in range(4, 11)]
    props += [(14, pw.text_value("", cp, wide))] + _text_props(plan, [(15, "company")], cp, wide)
    if plan.index % 3 == 0:
        # Heading pairs as Office writes them, last in the section: a vector of variants whose
        # strings are not padded, ending one to three bytes before the section's end.
        props += [(12, pw.vector_of_variants([pw.variant_text("Titel", cp), pw.variant_i4(1),
                                              pw.variant_text("Inhalt", cp), pw.variant_i4(2)]))]
    sections = [(FMTID_DOCSUMMARY, pw.section(props))]
    if plan.custom is not None:
        sections.append((FMTID_CUSTOM, custom_section(plan)))
    class_id = FMTID_CUSTOM if plan.custom is not None else FMTID_DOCSUMMARY
    return pw.stream(class_id, _system(plan), sections)


def custom_section(plan):
    cp = plan.custom_codepage
    names, values = [], []
    for pid, (name, kind, value) in enumerate(plan.custom, start=2):
        names.append((pid, name))
        values.append((pid, _custom_value(kind, value, cp)))
    return pw.section([(pw.PID_DICTIONARY, pw.dictionary(names, cp))] + _common(cp, plan.locale) + values)


def _custom_value(kind, value, cp):
    if kind == "text":
        return pw.text_value(value, cp, wide=cp == 1200)
    return {
        "i4": pw.i4, "i2": pw.i2, "ui4": pw.ui4, "r8": pw.r8, "bool": pw.boolean, "filetime": pw.filetime,
        "empty": lambda _v: pw.empty(), "null": lambda _v: pw.null(),
    }[kind](value)


def _solid_edge_section(plan, values, names):
    """A Solid Edge set: code page 1200, the values, then the dictionary."""
    named = [(pid, name) for pid, name in names]
    return pw.section(_common(1200, plan.locale) + values + [(pw.PID_DICTIONARY, pw.dictionary(named, 1200))])


def project_stream(plan):
    names = ["Dokumentnummer", "Revision", "Projektname"] if plan.translated_names else \
        ["Document Number", "Revision", "Project Name"]
    values = _text_props(plan, [(2, "docnumber"), (3, "revision"), (4, "project")], 1200, True)
    present = {pid for pid, _ in values}
    section = _solid_edge_section(plan, values, [(p, n) for p, n in zip((2, 3, 4), names) if p in present])
    return pw.stream(FMTID_PROJECT, SYSTEM_NEW, [(FMTID_PROJECT, section)])


def extended_stream(plan, rng):
    document_id = str(uuid.UUID(int=rng.getrandbits(128), version=4)).upper()
    values = [(2, pw.lpwstr("Solid Edge")), (6, pw.clsid(document_id)), (7, pw.i4(plan.status)),
              (8, pw.lpwstr(plan.username)), (9, pw.i4(plan.locale)),
              (10, pw.clipboard(-1, thumbnail(plan.index % 3))), (11, pw.clipboard(-1, b"")),
              (13, pw.ui4(rng.randrange(1, 30000))), (14, pw.boolean(False)), (16, pw.ui4(0))]
    names = [(2, "Name of Saving Application"), (6, "DocumentID"), (7, "Status"), (8, "Username"),
             (9, "CreationLocale"), (10, "Large DIB"), (11, "Small DIB"), (14, "Hardware"),
             (16, "Document Content Type")]
    section = _solid_edge_section(plan, values, names)
    return pw.stream(FMTID_EXTENDED, SYSTEM_NEW, [(FMTID_EXTENDED, section)])


def mechanical_stream(plan, rng):
    values = _text_props(plan, [(3, "material")], 1200, True)
    values += [(20, pw.lpwstr("Model Default")), (21, pw.lpwstr("")), (22, pw.lpwstr(""))]
    values += [(pid, pw.r8(round(rng.uniform(0, 300), 3))) for pid in range(24, 32)]
    names = [(3, "Werkstoff" if plan.translated_names else "Material"), (20, "Face Style"), (21, "Fill Style"),
             (22, "Virtual Style"), (24, "Coef. of Thermal Exp"), (25, "Thermal Conductivity"),
             (26, "Specific Heat"), (27, "Modulus of Elasticity"), (28, "Poisson's Ratio"), (29, "Yield Stress"),
             (30, "Ultimate Stress"), (31, "Elongation")]
    if plan.values.get("material") is None:
        names = names[1:]
    section = _solid_edge_section(plan, values, names)
    return pw.stream(FMTID_MECHANICAL, SYSTEM_NEW, [(FMTID_MECHANICAL, section)])


def versions_stream(plan, rng):
    props = _common(1200, plan.locale) + [(14, pw.blob(rng.randbytes(rng.choice([32, 160]))))]
    return pw.stream(FMTID_VERSIONS, SYSTEM_NEW, [(FMTID_VERSIONS, pw.section(props, spare_slots=1))])


def _system(plan):
    return SYSTEM_NEW if plan.style == "new" else SYSTEM_OLD


def _stream_name(name, plan):
    return name.lower() if plan.lower_case_streams else name


def _model_storages(plan, rng):
    """Neutral model data: one large stream of model_bytes (seeded head, zero tail) and a few small ones."""
    big = Stream("Body0", rng.randbytes(min(256, plan.model_bytes)), plan.model_bytes)
    small = lambda name, n: Stream(name, rng.randbytes(n))  # noqa: E731
    common = [small("Versions", 12), small("DocVersion2", 4), small("ChangeLog", rng.randrange(100, 3000)),
              Storage("Display", [small("Cache0", rng.randrange(500, 4000)),
                                  Storage("Styles", [small("Library0", rng.randrange(200, 2000)),
                                                     small("Defaults", 12)])])]
    if plan.kind == "dft":
        model = [Storage("Sheets", [big, small("Sheet1", rng.randrange(64, 4000)), small("Sheet2", 700)]),
                 Storage("DrawingViews", [small("View%d" % i, rng.randrange(20, 900)) for i in range(3)])]
    elif plan.kind == "asm":
        model = [Storage("Geometry", [big]),
                 Storage("Occurrences", [small("Occurrence%d" % i, rng.randrange(40, 600)) for i in range(4)])]
    else:
        model = [Storage("Geometry", [big, small("Body1", rng.randrange(100, 4095))]),
                 small("FeatureTree", rng.randrange(300, 3000))]
    return common + model


def build_document(plan):
    """The root storage of the document described by plan."""
    rng = random.Random(plan.seed * 7919 + plan.index)
    children = [
        Stream(_stream_name(STREAM_SUMMARY, plan), summary_stream(plan, rng)),
        Stream(_stream_name(STREAM_DOCSUMMARY, plan), docsummary_stream(plan)),
        Stream(_stream_name(STREAM_EXTENDED, plan), extended_stream(plan, rng)),
        Stream(_stream_name(STREAM_VERSIONS, plan), versions_stream(plan, rng)),
    ]
    if not plan.without_project_stream:
        children.append(Stream(_stream_name(STREAM_PROJECT, plan), project_stream(plan)))
    if not plan.without_mechanical_stream:
        children.append(Stream(_stream_name(STREAM_MECHANICAL, plan), mechanical_stream(plan, rng)))
    children += _model_storages(plan, rng)
    return Storage("Root Entry", children, clsid=pw.guid_bytes(ROOT_CLSID[plan.kind]))
