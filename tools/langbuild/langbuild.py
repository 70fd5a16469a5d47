#!/usr/bin/env python3
"""Builds the localisation file "language.dat" from resources/lang/.

Each language has one readable source, <language>.json, holding a flat JSON
object from text keys to texts. A value may also be {"base64": "text"}: the
text is then stored base64-encoded (for the few texts that the program
decodes itself, such as the mail body).

english.json defines the keys: every other language may translate any subset
of them, and a key that english.json lacks is an error. A language without a
source file gets an empty dictionary.

The output is the base64 text of an XML property list whose root dictionary
holds one dictionary per language. It is written through a temporary file and
a rename, so a failed run never leaves a half-written file.

Usage: langbuild.py --out <language.dat> <folder with the .json sources>
"""

import argparse
import base64
import json
import os
import plistlib
import sys
import tempfile

# In the order of the engine's language codes.
LANGUAGES = [
    "english", "chinese", "french", "italian", "german", "spanish", "dutch",
    "russian", "korean", "japanese", "hungarian", "portuguese", "arabic",
    "norwegian", "polish", "turkish", "ukrainian", "romanian", "bulgarian",
]


class SourceError(Exception):
    pass


def read_language(path):
    try:
        with open(path, encoding="utf-8") as f:
            data = json.load(f)
    except (OSError, ValueError) as e:
        raise SourceError(f"{path}: {e}")
    if not isinstance(data, dict):
        raise SourceError(f"{path}: the top level must be an object")
    texts = {}
    for key, value in data.items():
        if not key:
            raise SourceError(f"{path}: empty key")
        if isinstance(value, dict) and set(value) == {"base64"} and isinstance(value["base64"], str):
            value = base64.b64encode(value["base64"].encode("utf-8")).decode("ascii")
        elif not isinstance(value, str):
            raise SourceError(f"{path}: the value of \"{key}\" must be a text or {{\"base64\": text}}")
        if "\0" in value:
            raise SourceError(f"{path}: the value of \"{key}\" holds a zero character")
        texts[key] = value
    return texts


def build(folder):
    names = set()
    for entry in os.listdir(folder):
        if entry.endswith(".json"):
            stem = entry[:-5]
            if stem not in LANGUAGES:
                raise SourceError(f"{os.path.join(folder, entry)}: unknown language \"{stem}\"")
            names.add(stem)
    if "english" not in names:
        raise SourceError(f"{folder}: english.json is missing")
    root = {}
    for language in LANGUAGES:
        path = os.path.join(folder, language + ".json")
        root[language] = read_language(path) if language in names else {}
    english = set(root["english"])
    for language in LANGUAGES:
        extra = sorted(set(root[language]) - english)
        if extra:
            raise SourceError(f"{language}.json: keys missing from english.json: {', '.join(extra)}")
    return root


def write_atomically(path, text):
    folder = os.path.dirname(os.path.abspath(path))
    os.makedirs(folder, exist_ok=True)
    fd, tmp = tempfile.mkstemp(dir=folder, prefix=".language.", suffix=".tmp")
    try:
        with os.fdopen(fd, "w", encoding="ascii") as f:
            f.write(text)
        os.replace(tmp, path)
    except BaseException:
        os.unlink(tmp)
        raise


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", required=True, help="the language.dat to write")
    parser.add_argument("folder", help="the folder of <language>.json sources")
    args = parser.parse_args(argv)
    try:
        root = build(args.folder)
    except SourceError as e:
        print(f"langbuild: {e}", file=sys.stderr)
        return 1
    plist = plistlib.dumps(root, fmt=plistlib.FMT_XML, sort_keys=True)
    text = base64.encodebytes(plist).decode("ascii")
    write_atomically(args.out, text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
