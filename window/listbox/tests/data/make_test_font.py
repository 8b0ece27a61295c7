#!/usr/bin/python3
"""Makes test-sans.ttf, the font the list box tests draw with, so their pixels do not depend on the
fonts a machine has: DejaVu Sans (Debian's fonts-dejavu-core) cut down to printable ASCII and the
few marks the boxes draw, without hinting, renamed so it never stands in for the installed font.
Needs python3-fonttools. Usage: make_test_font.py [path/to/DejaVuSans.ttf]"""
import os
import sys

from fontTools import subset
from fontTools.ttLib import TTFont

SOURCE = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
FAMILY = "Ordwell Test Sans"
# Printable ASCII; pilcrow, middle dot, bullet, rightwards arrow, dot operator.
UNICODES = list(range(0x20, 0x7F)) + [0xB6, 0xB7, 0x2022, 0x2192, 0x22C5]

options = subset.Options()
options.hinting = False
options.name_IDs = ["*"]
options.layout_features = []
options.notdef_outline = True
font = TTFont(SOURCE, recalcTimestamp=False)
subsetter = subset.Subsetter(options)
subsetter.populate(unicodes=UNICODES)
subsetter.subset(font)

names = font["name"]
for record in list(names.names):
    if record.nameID in (1, 3, 4, 6, 16, 17, 18, 21, 22):
        names.removeNames(nameID=record.nameID)
names.setName(FAMILY, 1, 3, 1, 0x409)
names.setName("Book", 2, 3, 1, 0x409)
names.setName(FAMILY + " Book", 3, 3, 1, 0x409)
names.setName(FAMILY, 4, 3, 1, 0x409)
names.setName(FAMILY.replace(" ", ""), 6, 3, 1, 0x409)
font.save(os.path.join(os.path.dirname(os.path.abspath(__file__)), "test-sans.ttf"))
