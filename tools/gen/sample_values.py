"""What a sample document holds: its kind, container version, code pages and property values.

plan_document() draws everything from a seeded random generator, so the same seed and index
always give the same document. expected_texts() gives the thirteen texts a correct reader
shows for it: texts cut at their first NUL, comments with every CR LF turned into ", ",
integers as decimal digits, and "" for anything missing.
"""

import random

KINDS = ("par", "asm", "psm", "dft")

# Code-page styles: "new" documents store every set in UTF-16 (code page 1200), older western
# ones keep SummaryInformation, DocumentSummaryInformation and Custom in code page 1252, older
# Japanese ones the first two in code page 932.
STYLES = ("new", "western", "japanese")

WESTERN_WORDS = [
    "Welle", "Getriebegehäuse", "Flansch DN50", "Zahnrad z=24", "Lagerbock", "Überwurfmutter", "Grundplatte",
    "Ölwanne", "Deckel", "Schweißkonstruktion", "Bracket", "Drive shaft", "Größenänderung", "Kühlkörper",
    "Führungsschiene", "Spannvorrichtung", "Hydraulikzylinder Ø50", "Montageplatte 200×300", "Café-Ständer",
    "Pièce détachée", "Niño", "Æbleskive", "€-Preisliste", "„Anführung“", "Bügel – lang", "Träger ‰ ™",
]
JAPANESE_WORDS = [
    "歯車", "軸受ハウジング", "取付ブラケット", "組立図", "溶接構造", "ﾊﾝｶｸｶﾀｶﾅ", "第２工場", "ＡＢＣ１２３",
    "シャフト Φ20", "カバー（上）", "配管継手", "ばね座金",
]
WESTERN_PEOPLE = ["Jürgen Weiß", "Anna Müller", "K. Öztürk", "j.doe", "Ingenieurbüro Schäfer", "Zoë Ångström", "ROBERT"]
JAPANESE_PEOPLE = ["鈴木 一郎", "田中花子", "yamada", "佐藤"]
WESTERN_COMPANIES = ["Müller Maschinenbau GmbH", "Schäfer & Söhne KG", "Acme Corp.", "Fräserei Groß", "Société Générale d'Usinage"]
JAPANESE_COMPANIES = ["株式会社山田製作所", "東京精機", "ACME Japan"]
CATEGORIES = ["Normteil", "Kaufteil", "Baugruppe", "Zeichnung", "Prototyp", "Ersatzteil"]
JAPANESE_CATEGORIES = ["購入品", "製作品", "標準部品"]
MATERIALS = ["Stahl S235JR", "Edelstahl 1.4301", "Aluminium AlMg3", "Messing CuZn39Pb3", "PA6 GF30",
             "Stainless Steel, 303", "Grauguss EN-GJL-250", "ステンレス鋼", "Kupfer (Cu-ETP)"]
PROJECTS = ["Linie 4 Umbau", "Prüfstand 2025", "Kunde Öhlmann", "P-0815", "新ライン", "Förderband Süd"]
DIMENSIONS_8BIT = ["120 x 80 x 15", "Ø 50 x 200", "L=1250", "200×300×12", "1.250 mm", "¼\" x 2\""]
DIMENSIONS_WIDE = DIMENSIONS_8BIT + ["⌀40 × 120", "長さ 120 mm", "Ø 12 – 14"]
REVISIONS = ["A", "B", "C", "0", "01", "02", "Rev. 3", "Ä", "AB-12"]

STATUS_CODES = [0, 0, 0, 1, 2, 3, 4, 5]
HAUPTMASSE_SPELLINGS = ["Hauptmaße", "Hauptmaße", "Hauptmaße", "hauptmaße", "HAUPTMAßE"]
OTHER_CUSTOM = [
    ("Density", "text", "0.000 kg/m^3"), ("Accuracy", "text", "0.990  "), ("Gewicht", "r8", 12.5),
    ("Geprüft", "bool", True), ("Prüfdatum", "filetime", 133500000000000000), ("Stückzahl", "i4", 250),
    ("Bemerkung", "text", "intern"), ("Oberfläche", "text", "verzinkt"),
]


def join_lines(text):
    return text.replace("\r\n", ", ")


def cut_at_nul(text):
    nul = text.find("\0")
    return text if nul < 0 else text[:nul]


class DocumentPlan:
    """Everything needed to write one sample document and to know what a reader must find in it."""

    def __init__(self, seed, index, kind, version, style):
        self.seed, self.index, self.kind, self.version, self.style = seed, index, kind, version, style
        self.values = {}            # field -> text, or None when the property is left out
        self.status = 0
        self.username = ""
        self.custom = None          # None: no Custom section; else [(name, kind, value)]
        self.wide_summary = True    # code page 1200: VT_LPWSTR (True) or UTF-16 VT_LPSTR (False)
        self.translated_names = False
        self.lower_case_streams = False
        self.without_project_stream = False
        self.without_mechanical_stream = kind in ("asm", "dft")
        self.locale = 1033
        self.model_bytes = 16384
        self.big = False
        self.relative_path = ""

    @property
    def summary_codepage(self):
        return {"new": 1200, "western": 1252, "japanese": 932}[self.style]

    @property
    def custom_codepage(self):
        return 1252 if self.style == "western" else 1200

    def expected_texts(self):
        def text(field):
            value = self.values.get(field)
            return "" if value is None else cut_at_nul(value)

        project = "" if self.without_project_stream else None
        material = "" if self.without_mechanical_stream else text("material")
        return [
            project if project is not None else text("docnumber"),
            project if project is not None else text("revision"),
            str(self.status),
            text("title"),
            text("subject"),
            join_lines(text("comments")),
            text("keywords"),
            text("category"),
            project if project is not None else text("project"),
            text("company"),
            text("author"),
            self.hauptmasse_text(),
            material,
        ]

    def hauptmasse_text(self):
        for name, kind, value in self.custom or ():
            if name.lower() == "hauptmaße":
                if kind == "text":
                    return cut_at_nul(value)
                if kind in ("i4", "i2", "ui4"):
                    return str(value)
                return ""  # empty and null values
        return ""


def _comment(rng, words, long_comment):
    a, b = rng.choice(words), rng.choice(words)
    choice = rng.randrange(14)
    if long_comment:
        line = "Lange Bemerkung zu %s, Zeile %%d.%s" % (a, "\r\n" if rng.random() < 0.5 else " ")
        text = "".join(line % k for k in range(1, 2000))
        return text[:40000]
    return [
        "", " ", a, "%s\r\n%s" % (a, b), "%s\r\n" % a, "%s\r\n\r\n%s" % (a, b), "%s\n%s" % (a, b),
        "%s\r%s" % (a, b), "%s\r\n\n%s\r\r\n%s" % (a, b, a), "\r\n%s" % a, "  %s  " % a,
        "%s\0verborgen" % a, "Zeile 1\r\nZeile 2\r\nZeile 3", a + " " + b,
    ][choice]


def _text(rng, words, blank_share=0.12):
    r = rng.random()
    if r < blank_share / 2:
        return ""
    if r < blank_share:
        return " "
    if r < blank_share + 0.03:
        return "  " + rng.choice(words) + " "
    return rng.choice(words)


def plan_document(seed, index, kind, version, style, model_bytes, big=False):
    """A deterministic document plan for (seed, index)."""
    rng = random.Random(seed * 1000003 + index)
    plan = DocumentPlan(seed, index, kind, version, style)
    plan.model_bytes, plan.big = model_bytes, big
    japanese = style == "japanese"
    words = JAPANESE_WORDS + ["Part %d" % index] if japanese else WESTERN_WORDS
    people = JAPANESE_PEOPLE if japanese else WESTERN_PEOPLE
    wide_words = WESTERN_WORDS + JAPANESE_WORDS
    plan.locale = 1041 if japanese else rng.choice([1031, 1033, 16393])

    v = plan.values
    v["title"] = _text(rng, words + ["Teil %d" % index])
    v["subject"] = _text(rng, words)
    v["comments"] = _comment(rng, words, long_comment=rng.random() < 0.01)
    v["keywords"] = _text(rng, words, 0.3)
    v["author"] = _text(rng, people, 0.05)
    v["category"] = _text(rng, JAPANESE_CATEGORIES if japanese else CATEGORIES, 0.4)
    v["company"] = _text(rng, JAPANESE_COMPANIES if japanese else WESTERN_COMPANIES, 0.3)
    v["docnumber"] = rng.choice(["DN-%06d" % index, "4711-%d" % index, "ZN 12.%03d-01" % (index % 1000),
                                 "図番-%d" % index, "", " "])
    v["revision"] = _text(rng, REVISIONS, 0.2)
    v["project"] = _text(rng, PROJECTS, 0.4)
    v["material"] = _text(rng, MATERIALS, 0.3) if kind in ("par", "psm") else None
    if rng.random() < 0.05:
        v["docnumber"] = rng.choice(wide_words) + "\0Rest"
    plan.status = rng.choice(STATUS_CODES)
    plan.username = rng.choice(["", "", "Fendrik"] + people)

    if style == "new":
        plan.wide_summary = rng.random() < 0.8
    plan.translated_names = rng.random() < 0.2
    plan.lower_case_streams = rng.random() < 0.15

    if rng.random() < 0.75:
        plan.custom = _custom(rng, plan)

    # A few documents lack a set or a property, as documents from other tools or old releases do.
    if rng.random() < 0.08:
        gap = rng.choice(["title", "comments", "author", "keywords", "category", "company", "project_stream",
                          "material", "mechanical_stream", "docnumber"])
        if gap == "project_stream":
            plan.without_project_stream = True
        elif gap == "mechanical_stream":
            plan.without_mechanical_stream = True
        else:
            v[gap] = None
    return plan


def _custom(rng, plan):
    entries = []
    others = rng.sample(OTHER_CUSTOM, rng.randrange(0, 4))
    if rng.random() < 0.85:
        r = rng.random()
        if r < 0.88:
            pool = DIMENSIONS_8BIT if plan.custom_codepage == 1252 else DIMENSIONS_WIDE
            hm = ("text", _text(rng, pool, 0.1))
        elif r < 0.92:
            hm = ("i4", rng.randrange(-5000, 100000))
        elif r < 0.94:
            hm = ("i2", rng.randrange(-300, 300))
        elif r < 0.96:
            hm = ("ui4", rng.randrange(0, 1 << 32))
        elif r < 0.98:
            hm = ("empty", None)
        else:
            hm = ("null", None)
        entries.append((rng.choice(HAUPTMASSE_SPELLINGS),) + hm)
    entries.extend(others)
    rng.shuffle(entries)
    return entries
