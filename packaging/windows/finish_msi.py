#!/usr/bin/python3
"""What make_msi adds to the package wixl wrote, once its tables are there:
    finish_msi.py PACKAGE.msi FOLDER

- the executables' versions and language in the File table, read from
  their version resources in FOLDER (the package's source folder), so that
  Windows Installer's file versioning compares them; without a file hash,
  which is for files with no version;
- 8.3 short names beside the long ones ("TARVEL~1.EXE|tarvelo-cli.exe") in
  the File, Directory and Shortcut tables, which wixl does not write;
- the summary information's texts in its code page, 1252: wixl writes them
  in UTF-8 while saying 1252 ("CrÃ­tica" in Explorer). Done last, as an
  msibuild run after it could write the summary anew.

Needs msiinfo and msibuild (msitools) and olefile (python3-olefile).
"""
import re
import struct
import subprocess
import sys

import olefile

LANGUAGE = "1046"  # of an executable whose version resource names none


def table(package, name):
    """The rows of a table, each a dict of its columns."""
    text = subprocess.run(["msiinfo", "export", package, name], check=True, capture_output=True).stdout
    lines = text.decode("utf-8").replace("\r\n", "\n").split("\n")
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


def quoted(text):
    return "'" + text.replace("'", "''") + "'"


def file_version(path):
    """The version ("0.1.0.0") and language ("1046") of an executable's
    version resource, or None when it has none."""
    with open(path, "rb") as f:
        data = f.read()
    at = data.find(struct.pack("<I", 0xFEEF04BD))  # VS_FIXEDFILEINFO
    if at < 0:
        return None
    most, least = struct.unpack_from("<II", data, at + 8)
    version = f"{most >> 16}.{most & 0xFFFF}.{least >> 16}.{least & 0xFFFF}"
    language = ""
    key = "Translation\0".encode("utf-16-le")
    found = data.find(key, at)
    if found >= 0:
        value = (found + len(key) + 3) & ~3
        language = str(struct.unpack_from("<H", data, value)[0])
    return version, language


INVALID = r'\s\\?|><:/*"+,;=\[\].'
SHORT = re.compile(rf"^[^{INVALID}]{{1,8}}(\.[^{INVALID}]{{1,3}})?$")


def short_names(names):
    """For each long name of one folder, "SHORT|long" or the name itself
    when it is a valid short name; the short names unique in the folder."""
    taken = {name.upper() for name in names if SHORT.match(name)}
    result = {}
    for name in names:
        if SHORT.match(name):
            result[name] = name
            continue
        base, dot, extension = name.rpartition(".")
        if not dot:
            base, extension = name, ""
        base = re.sub(rf"[{INVALID}]", "", base).upper() or "_"
        extension = re.sub(rf"[{INVALID}]", "", extension).upper()[:3]
        number = 1
        while True:
            tail = f"~{number}"
            short = base[: 8 - len(tail)] + tail + ("." + extension if extension else "")
            if short.upper() not in taken:
                break
            number += 1
        taken.add(short.upper())
        result[name] = f"{short}|{name}"
    return result


def queries(package, folder):
    """The SQL that gives the executables their versions and every name
    its short one."""
    found = []
    components = {row["Component"]: row["Directory_"] for row in table(package, "Component")}
    directories = table(package, "Directory")
    # The source folder of each directory: INSTALLDIR is FOLDER, those
    # below it its subfolders.
    source = {"INSTALLDIR": folder}
    for row in directories:
        if row["Directory_Parent"] == "INSTALLDIR":
            source[row["Directory"]] = f"{folder}/{row['DefaultDir']}"
    files = table(package, "File")
    for row in files:
        directory = components[row["Component_"]]
        if not row["FileName"].lower().endswith((".exe", ".dll")) or directory not in source:
            continue
        version = file_version(f"{source[directory]}/{row['FileName']}")
        if version:
            key = quoted(row["File"])
            found.append(
                f"UPDATE `File` SET `Version` = {quoted(version[0])}, `Language` = {quoted(version[1] or LANGUAGE)}"
                f" WHERE `File` = {key}"
            )
            found.append(f"DELETE FROM `MsiFileHash` WHERE `File_` = {key}")

    def shorten(name_of_table, rows, key, column, folder_of):
        by_folder = {}
        for row in rows:
            by_folder.setdefault(folder_of(row), []).append(row)
        for kin in by_folder.values():
            names = short_names([row[column] for row in kin])
            for row in kin:
                if names[row[column]] != row[column]:
                    found.append(
                        f"UPDATE `{name_of_table}` SET `{column}` = {quoted(names[row[column]])}"
                        f" WHERE `{key}` = {quoted(row[key])}"
                    )

    shorten("File", files, "File", "FileName", lambda row: components[row["Component_"]])
    # Not the root (SourceDir) nor the system's folders ("."), nor a name
    # already given as "target:source".
    shorten(
        "Directory",
        [r for r in directories if r["Directory_Parent"] and r["DefaultDir"] != "." and ":" not in r["DefaultDir"]],
        "Directory",
        "DefaultDir",
        lambda row: row["Directory_Parent"],
    )
    shorten("Shortcut", table(package, "Shortcut"), "Shortcut", "Name", lambda row: row["Directory_"])
    return found


def summary_in_1252(package):
    """Rewrites the summary information's texts (VT_LPSTR) from UTF-8 to
    code page 1252, in place: each takes no more bytes in 1252, and the
    rest of its room is left zero, so the stream keeps its size."""
    ole = olefile.OleFileIO(package, write_mode=True)
    name = "\x05SummaryInformation"
    data = bytearray(ole.openstream(name).read())
    sections = struct.unpack_from("<I", data, 24)[0]
    for section in range(sections):
        start = struct.unpack_from("<I", data, 28 + section * 20 + 16)[0]
        count = struct.unpack_from("<I", data, start + 4)[0]
        for index in range(count):
            offset = struct.unpack_from("<I", data, start + 8 + index * 8 + 4)[0]
            at = start + offset
            if struct.unpack_from("<I", data, at)[0] != 0x1E:  # VT_LPSTR
                continue
            size = struct.unpack_from("<I", data, at + 4)[0]
            text = bytes(data[at + 8 : at + 8 + size]).split(b"\0")[0]
            recoded = text.decode("utf-8").encode("cp1252")
            data[at + 8 : at + 8 + size] = recoded.ljust(size, b"\0")
    ole.write_stream(name, bytes(data))
    ole.close()


def main():
    package, folder = sys.argv[1], sys.argv[2]
    command = ["msibuild", package]
    for query in queries(package, folder):
        command += ["-q", query]
    subprocess.run(command, check=True)
    summary_in_1252(package)


if __name__ == "__main__":
    main()
