#!/usr/bin/env python3
"""Builds the region catalogue Country.dat from the Census Bureau's county list.

Usage: make_country_dat.py CENSUS_FILE [OUTPUT]   (OUTPUT defaults to data/Country.dat)

CENSUS_FILE is the 2010 national county list, one county a line:
    STATE,STATEFP,COUNTYFP,COUNTYNAME,CLASSFP      e.g.  VA,51,059,Fairfax County,H1

The catalogue holds one region "US", one state record per state, district or territory
of the list in order of the state code, and below each its counties in FIPS order:

    RA  US US                 columns 5-6 region code, 8.. designation
    RB  VA Virginia           columns 5-6 state code, 5.. the state list entry
    RC  059 Fairfax           columns 5-7 FIPS code, 9.. county name

County names lose a trailing " County", " Parish" or " Municipio"; the changes made
since 2010 are applied (see COUNTY_UPDATES). Lines end CR LF and the file is ASCII.
The same input always gives the same bytes.
"""

import sys
import unicodedata
from pathlib import Path

STATE_NAMES = {
    "AK": "Alaska",
    "AL": "Alabama",
    "AR": "Arkansas",
    "AS": "American Samoa",
    "AZ": "Arizona",
    "CA": "California",
    "CO": "Colorado",
    "CT": "Connecticut",
    "DC": "District of Columbia",
    "DE": "Delaware",
    "FL": "Florida",
    "GA": "Georgia",
    "GU": "Guam",
    "HI": "Hawaii",
    "IA": "Iowa",
    "ID": "Idaho",
    "IL": "Illinois",
    "IN": "Indiana",
    "KS": "Kansas",
    "KY": "Kentucky",
    "LA": "Louisiana",
    "MA": "Massachusetts",
    "MD": "Maryland",
    "ME": "Maine",
    "MI": "Michigan",
    "MN": "Minnesota",
    "MO": "Missouri",
    "MP": "Northern Mariana Islands",
    "MS": "Mississippi",
    "MT": "Montana",
    "NC": "North Carolina",
    "ND": "North Dakota",
    "NE": "Nebraska",
    "NH": "New Hampshire",
    "NJ": "New Jersey",
    "NM": "New Mexico",
    "NV": "Nevada",
    "NY": "New York",
    "OH": "Ohio",
    "OK": "Oklahoma",
    "OR": "Oregon",
    "PA": "Pennsylvania",
    "PR": "Puerto Rico",
    "RI": "Rhode Island",
    "SC": "South Carolina",
    "SD": "South Dakota",
    "TN": "Tennessee",
    "TX": "Texas",
    "UT": "Utah",
    "VA": "Virginia",
    "VI": "U.S. Virgin Islands",
    "VT": "Vermont",
    "WA": "Washington",
    "WI": "Wisconsin",
    "WV": "West Virginia",
    "WY": "Wyoming",
}

# Changes since the 2010 list: (state, FIPS code) -> new name, or None to drop it.
# Connecticut keeps its eight counties; its later planning regions are not added.
COUNTY_UPDATES = {
    ("AK", "270"): None,                       # Wade Hampton, renamed and recoded
    ("AK", "158"): "Kusilvak Census Area",
    ("SD", "113"): None,                       # Shannon, renamed and recoded
    ("SD", "102"): "Oglala Lakota",
    ("AK", "261"): None,                       # Valdez-Cordova, split in two
    ("AK", "063"): "Chugach Census Area",
    ("AK", "066"): "Copper River Census Area",
    ("AK", "195"): "Petersburg Borough",       # was Petersburg Census Area
}

DROPPED_SUFFIXES = (" County", " Parish", " Municipio")

REGION_CODE = "US"
REGION_DESIGNATION = "US"


def fail(message):
    sys.exit(f"make_country_dat: {message}")


def to_ascii(text, where):
    """Accents are dropped (Dona Ana); anything else outside ASCII is an error."""
    decomposed = unicodedata.normalize("NFKD", text)
    plain = "".join(c for c in decomposed if not unicodedata.combining(c))
    if not plain.isascii():
        fail(f"{where}: cannot write {text!r} in ASCII")
    return plain


def county_name(census_name):
    for suffix in DROPPED_SUFFIXES:
        if census_name.endswith(suffix):
            return census_name[: -len(suffix)]
    return census_name


def read_census(path):
    raw = Path(path).read_bytes()
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError:
        text = raw.decode("latin-1")
    counties = {}
    for number, line in enumerate(text.splitlines(), start=1):
        if not line.strip():
            continue
        where = f"{path}:{number}"
        fields = line.split(",")
        if len(fields) != 5:
            fail(f"{where}: expected 5 comma-separated fields, got {len(fields)}")
        state, _state_fips, fips, name, _class_code = (f.strip() for f in fields)
        if len(state) != 2 or not state.isalpha() or not state.isupper():
            fail(f"{where}: bad state code {state!r}")
        if len(fips) != 3 or not fips.isdigit():
            fail(f"{where}: bad county FIPS code {fips!r}")
        if state not in STATE_NAMES:
            fail(f"{where}: no full name known for state {state!r}")
        if not name:
            fail(f"{where}: empty county name")
        key = (state, fips)
        if key in counties:
            fail(f"{where}: {state} {fips} listed twice")
        counties[key] = county_name(to_ascii(name, where))
    return counties


def apply_updates(counties):
    for key, name in COUNTY_UPDATES.items():
        if name is None:
            if key not in counties:
                fail(f"update: {key[0]} {key[1]} to drop is not in the list")
            del counties[key]
        else:
            counties[key] = name


def catalogue_lines(counties):
    lines = [f"RA  {REGION_CODE} {REGION_DESIGNATION}"]
    for state in sorted({state for state, _ in counties}):
        lines.append(f"RB  {state} {STATE_NAMES[state]}")
        for fips in sorted(fips for s, fips in counties if s == state):
            lines.append(f"RC  {fips} {counties[(state, fips)]}")
    return lines


def main(argv):
    if len(argv) not in (2, 3):
        sys.exit(__doc__.split("\n\n")[1])
    census = argv[1]
    output = Path(argv[2]) if len(argv) == 3 else Path(__file__).resolve().parent.parent / "data" / "Country.dat"
    counties = read_census(census)
    apply_updates(counties)
    data = "".join(line + "\r\n" for line in catalogue_lines(counties)).encode("ascii")
    output.write_bytes(data)
    states = len({state for state, _ in counties})
    print(f"{output}: {states} states, {len(counties)} counties")


if __name__ == "__main__":
    main(sys.argv)
