#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Writes an SPDX 2.3 JSON bill of materials for a release artefact (scripts/release).
  sbom.py deb QUORVAN.deb OUT.spdx.json
      the package and each package its Depends names (alternatives included), with the
      version constraint; their licences are not asserted (see each one's copyright file)
  sbom.py windows QUORVAN-win64.zip OUT.spdx.json
      the tool, Qt with its version and licence and the MinGW runtime libraries with theirs,
      read from what scripts/build-windows put in the zip: the DLLs in bin/,
      licences/Qt-SOURCE.txt and licences/MinGW-<Debian package>.txt
The document's time is SOURCE_DATE_EPOCH (else 0) and its namespace names the artefact's
SHA-256, so that the same artefact always gives the same bytes. Exit status: 0 written,
1 the artefact does not hold what is expected, 2 usage."""
import datetime
import hashlib
import json
import os
import re
import subprocess
import sys
import zipfile

NAMESPACE = "https://quorvan.invalid/spdx/"
SUPPLIER = "Organization: Quorvan tools (tools@quorvan.invalid)"
TOOL_LICENCE = "MIT"
QT_LICENCE_CONCLUDED = "LGPL-3.0-only"  # the licence it is used under (the installer shows it)
QT_LICENCE_DECLARED = "LGPL-3.0-only OR GPL-2.0-only OR GPL-3.0-only"
GCC_RUNTIME = "GPL-3.0-or-later WITH GCC-exception-3.1"
# The licences of the MinGW runtime DLLs that a Windows build can ship, by file name.
RUNTIME_LICENCES = {
    "libstdc++-6.dll": GCC_RUNTIME,
    "libgcc_s_seh-1.dll": GCC_RUNTIME,
    "libwinpthread-1.dll": "MIT AND BSD-3-Clause",
}


def fail(message):
    sys.exit("sbom: " + message)


def spdx_id(name):
    return "SPDXRef-" + re.sub(r"[^A-Za-z0-9.-]", "-", name)


def document(name, artefact, packages, relationships):
    with open(artefact, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "0"))
    created = datetime.datetime.fromtimestamp(epoch, datetime.timezone.utc)
    return {
        "spdxVersion": "SPDX-2.3",
        "dataLicense": "CC0-1.0",
        "SPDXID": "SPDXRef-DOCUMENT",
        "name": name,
        "documentNamespace": NAMESPACE + name + "-" + digest,
        "creationInfo": {"created": created.strftime("%Y-%m-%dT%H:%M:%SZ"),
                         "creators": ["Tool: quorvan-config-scripts-release"]},
        "packages": packages,
        "relationships": [{"spdxElementId": "SPDXRef-DOCUMENT", "relationshipType": "DESCRIBES",
                           "relatedSpdxElement": packages[0]["SPDXID"]}] + relationships,
    }


def package(name, version, licence_concluded, licence_declared, **more):
    entry = {"SPDXID": spdx_id(name), "name": name,
             "downloadLocation": "NOASSERTION", "filesAnalyzed": False,
             "licenseConcluded": licence_concluded, "licenseDeclared": licence_declared,
             "copyrightText": "NOASSERTION"}
    if version:
        entry["versionInfo"] = version
    entry.update(more)
    return entry


def relation(a, kind, b):
    return {"spdxElementId": a["SPDXID"], "relationshipType": kind, "relatedSpdxElement": b["SPDXID"]}


def sha256(path):
    with open(path, "rb") as f:
        return [{"algorithm": "SHA256", "checksumValue": hashlib.sha256(f.read()).hexdigest()}]


def deb(path, output):
    fields = {}
    for field in ("Package", "Version", "Architecture", "Depends"):
        fields[field] = subprocess.run(["dpkg-deb", "-f", path, field], check=True,
                                       capture_output=True, text=True).stdout.strip()
    if fields["Package"] != "quorvan-config" or not fields["Version"]:
        fail("%s is not a quorvan-config package" % path)
    top = package("quorvan-config", fields["Version"], TOOL_LICENCE, TOOL_LICENCE,
                  supplier=SUPPLIER, packageFileName=os.path.basename(path), checksums=sha256(path),
                  externalRefs=[{"referenceCategory": "PACKAGE-MANAGER", "referenceType": "purl",
                                 "referenceLocator": "pkg:deb/quorvan-config@%s?arch=%s" % (
                                     fields["Version"], fields["Architecture"])}])
    packages, relationships = [top], []
    for clause in filter(None, (c.strip() for c in fields["Depends"].split(","))):
        for alternative in clause.split("|"):
            match = re.fullmatch(r"\s*([a-z0-9][a-z0-9+.-]*)(?::[a-z0-9-]+)?\s*(?:\((.*)\))?\s*",
                                 alternative)
            if not match:
                fail("cannot read the dependency '%s'" % alternative)
            name = match.group(1)
            if any(p["name"] == name for p in packages):
                continue
            # A dependency has no one version: the constraint says which will do.
            dependency = package(name, None, "NOASSERTION", "NOASSERTION",
                                 comment="Debian package, Depends: " + clause,
                                 externalRefs=[{"referenceCategory": "PACKAGE-MANAGER",
                                                "referenceType": "purl",
                                                "referenceLocator": "pkg:deb/debian/" + name}])
            packages.append(dependency)
            relationships.append(relation(top, "DEPENDS_ON", dependency))
    return document(os.path.basename(path), path, packages, relationships)


def windows(path, output):
    with zipfile.ZipFile(path) as archive:
        names = archive.namelist()
        top = names[0].split("/")[0]
        read = lambda name: archive.read(top + "/" + name).decode("utf-8")
        bin_files = sorted(n[len(top) + 5:] for n in names
                           if n.startswith(top + "/bin/") and not n.endswith("/"))
        try:
            qt_source = read("licences/Qt-SOURCE.txt")
        except KeyError:
            fail("%s has no licences/Qt-SOURCE.txt" % path)
        runtime = {}
        for name in names:
            match = re.fullmatch(re.escape(top) + r"/licences/MinGW-(.+)\.txt", name)
            if match:
                lines = archive.read(name).decode("utf-8").splitlines()
                origin = re.match(r"come from the Debian package (\S+) (\S+),", lines[1])
                if not origin or origin.group(1) != match.group(1):
                    fail("cannot read the origin of the DLLs in " + name)
                runtime[origin.group(1)] = (origin.group(2),
                                            [d.replace("bin\\", "") for d in lines[0].split()])
    version = re.search(r"^version (\S+), built", qt_source, re.M)
    if not version:
        fail("Qt-SOURCE.txt names no version")
    qt_debian = version.group(1)
    qt_upstream = re.match(r"[0-9.]+", qt_debian).group(0)
    tool_version = re.fullmatch(r"quorvan-config-(.+)-win64", top)
    if not tool_version:
        fail("%s is not a quorvan-config Windows bundle" % path)
    bundle = package(top, tool_version.group(1), "NOASSERTION", "NOASSERTION",
                     supplier=SUPPLIER, packageFileName=os.path.basename(path), checksums=sha256(path),
                     comment="The portable folder of the Windows build (the setup installs the same files).")
    tool = package("quorvan-config", tool_version.group(1), TOOL_LICENCE, TOOL_LICENCE,
                   supplier=SUPPLIER, comment="bin/" + ", bin/".join(
                       f for f in bin_files if f in ("quorvan-config.exe", "quorvan-cli.exe")))
    qt_files = [f for f in bin_files if re.match(r"(Qt5\w+\.dll|\w+/q\w+\.dll)$", f)]
    qt = package("Qt", qt_upstream, QT_LICENCE_CONCLUDED, QT_LICENCE_DECLARED,
                 sourceInfo="built from the Debian 12 source package qtbase-opensource-src "
                            + qt_debian,
                 comment="Qt 5 base: bin/" + ", bin/".join(qt_files))
    packages = [bundle, tool, qt]
    relationships = [relation(bundle, "CONTAINS", tool), relation(bundle, "CONTAINS", qt),
                     relation(tool, "DEPENDS_ON", qt)]
    for name, (debian_version, dlls) in sorted(runtime.items()):
        licences = sorted({RUNTIME_LICENCES.get(dll, "NOASSERTION") for dll in dlls})
        licence = licences[0] if len(licences) == 1 else "NOASSERTION"
        upstream = re.match(r"(?:\d+:)?([^-+~]+)", debian_version).group(1)
        entry = package(name, upstream, licence, licence,
                        sourceInfo="the Debian 12 package %s %s" % (name, debian_version),
                        comment="MinGW-w64 runtime: bin/" + ", bin/".join(dlls))
        packages.append(entry)
        relationships += [relation(bundle, "CONTAINS", entry), relation(tool, "DEPENDS_ON", entry)]
    return document(os.path.basename(path), path, packages, relationships)


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ("deb", "windows"):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    kind, artefact, output = sys.argv[1:]
    result = (deb if kind == "deb" else windows)(artefact, output)
    with open(output, "w", encoding="utf-8") as f:
        json.dump(result, f, indent=2, sort_keys=True)
        f.write("\n")


if __name__ == "__main__":
    main()
