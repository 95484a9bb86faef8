#!/usr/bin/env python3
# Every relative link in the documents leads to a file, and to a heading of it
# for an #anchor; .ci/run runs the README's test command (its second line).
import pathlib, re, sys

root = pathlib.Path(sys.argv[1])
read = lambda path: path.read_text(encoding="utf-8")
# Code blocks hold commands, not links.
prose = lambda path: re.sub(r"^```.*?^```", "", read(path), flags=re.M | re.S)
# A heading's anchor as renderers make it: lower case, punctuation dropped, blanks as hyphens.
anchors = lambda path: {re.sub(r"[^\w\- ]", "", h.strip().lower()).replace(" ", "-")
                        for h in re.findall(r"^#+ (.*)$", prose(path), re.M)}
failures = []
for doc in [root / "README.md", root / "CHANGELOG.md", *sorted((root / "docs").glob("*.md"))]:
    for target in re.findall(r"\]\(([^)\s]+)\)", prose(doc)):
        file, _, anchor = target.partition("#")
        path = doc.parent / file if file else doc
        if re.match(r"[a-z]+:", target):  # an address, not a file
            pass
        elif not path.exists():
            failures.append(f"{doc.relative_to(root)}: {target}: no such file")
        elif anchor and path.suffix == ".md" and anchor not in anchors(path):
            failures.append(f"{doc.relative_to(root)}: {target}: no such heading")
setup = re.search(r"^```sh\n(.*?)^```", read(root / "README.md"), re.M | re.S)
command = setup.group(1).splitlines()[1].split("#")[0].strip() if setup else ""
if not command or command not in [line.strip() for line in read(root / ".ci" / "run").splitlines()]:
    failures.append(f".ci/run does not run the README's test command ({command or 'none found'})")
sys.exit("\n".join(failures) or None)
