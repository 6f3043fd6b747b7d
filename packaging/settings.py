#!/usr/bin/env python3
"""Reads and checks an operator's release settings (scripts/release.sh).

A settings file is "key = value" lines; "#" starts a comment, blank lines
are ignored (packaging/example.settings shows every key). Paths are taken
relative to the settings file. --set KEY=VALUE overrides a line (its paths
relative to the current folder). Every problem is reported, one line each,
and nothing is written unless all is well; a plain http:// base URL is
allowed with a warning.

On success it writes CACHE (a CMake script for cmake -C: the build options)
and SHELL (the platforms to build, for the shell).

usage: settings.py SETTINGS_FILE CACHE SHELL [--set KEY=VALUE]...
"""

import os
import re
import shlex
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
KEY_TOOL = os.path.join(HERE, "..", "tools", "content_key_header.py")

KEYS = {
    "product_name": "the product's name (installer, shortcuts, version resource)",
    "version": "the version: 2 to 4 dot-separated numbers, each at most 65535",
    "publisher": "the publisher (version resource, 'Apps & features', package)",
    "contact": "the publisher's e-mail address (the Linux package's maintainer)",
    "base_url": "the update server's base URL (http:// or https://, ending in /)",
    "content_keys": "PEM files of the ECDSA P-256 public keys releases are signed under",
    "content_key_threshold": "how many of content_keys must sign a release",
    "icon": "the program's icon (.ico)",
    "package_name": "the package's name (lower case); default: from product_name",
    "platforms": "what to build: any of win32 win64 linux",
}
REQUIRED = ("product_name", "version", "publisher", "base_url")
PLATFORMS = ("win32", "win64", "linux")
# As CMakeLists.txt checks them: the name becomes a folder, a shortcut and a
# registry key, and stands unescaped in resource and installer scripts.
NAME = re.compile(r"^[A-Za-z0-9]([A-Za-z0-9 ._,&'()+-]*[A-Za-z0-9)])?$")
PACKAGE = re.compile(r"^[a-z0-9][a-z0-9+.-]+$")
EMAIL = re.compile(r"^[^\s<>@]+@[^\s<>@]+\.[^\s<>@]+$")
HOST = re.compile(r"^([A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?)(\.[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*$")
IPV6 = re.compile(r"^\[[0-9A-Fa-f:.]+\]$")
PATH = re.compile(r"^/([A-Za-z0-9._~!$&'()*+,;=:@/-]|%[0-9A-Fa-f]{2})*/$|^/$")


def url_problem(url):
    """Why `url` is not a base URL the host can use, or None."""
    match = re.match(r"^(https?)://([^/]*)(/.*)?$", url)
    if not match:
        return "it must begin with http:// or https://"
    authority, path = match.group(2), match.group(3) or ""
    if "@" in authority:
        return "it must not hold a user name or password"
    host, port = authority, None
    port_match = re.match(r"^(.*?)(?::(\d*))?$", authority) if not authority.startswith("[") else \
        re.match(r"^(\[.*\])(?::(\d*))?$", authority)
    if port_match:
        host, port = port_match.group(1), port_match.group(2)
    if not host:
        return "it names no server"
    if not (HOST.match(host) or IPV6.match(host)):
        return f"'{host}' is not a server name"
    if port is not None and (not port.isdigit() or not 1 <= int(port) <= 65535):
        return f"the port '{port}' is not a number from 1 to 65535"
    if not path.endswith("/"):
        return "it must end in / (the folder the lists are in)"
    if "?" in path or "#" in path:
        return "it must not have a query (?) or fragment (#)"
    if not PATH.match(path):
        return "its path holds characters a URL cannot (spaces, quotes, backslashes ...): write them as %XX"
    return None


def read(path):
    """The settings of the file (key to value, folder, where it was set) and
    its problems; None instead of settings when the file cannot be read."""
    values, problems = {}, []
    try:
        with open(path, encoding="utf-8") as f:
            lines = f.read().splitlines()
    except OSError as e:
        return None, [f"{path}: cannot be read: {e.strerror}"]
    except UnicodeDecodeError:
        return None, [f"{path}: is not UTF-8 text"]
    for number, line in enumerate(lines, 1):
        text = line.split("#", 1)[0].strip() if not line.lstrip().startswith("#") else ""
        if not text:
            continue
        if "=" not in text:
            problems.append(f"{path}:{number}: not a 'key = value' line: {line.strip()}")
            continue
        key, value = (part.strip() for part in text.split("=", 1))
        if key not in KEYS:
            problems.append(f"{path}:{number}: unknown setting '{key}' (known: {', '.join(KEYS)})")
        elif key in values:
            problems.append(f"{path}:{number}: '{key}' is set twice")
        else:
            values[key] = (value, os.path.dirname(os.path.abspath(path)), f"{path}:{number}")
    return values, problems


def main():
    args = sys.argv[1:]
    if len(args) < 3:
        sys.stderr.write(__doc__.split("usage: ", 1)[1])
        return 2
    settings, cache, shell = args[:3]
    values, problems = read(settings)
    if values is None:  # the file itself: nothing else to say
        print(f"release: {problems[0]}", file=sys.stderr)
        return 1
    rest = args[3:]
    while rest:
        if rest[0] != "--set" or len(rest) < 2 or "=" not in rest[1]:
            problems.append(f"expected --set KEY=VALUE, got: {' '.join(rest[:2])}")
            break
        key, value = rest[1].split("=", 1)
        key = key.strip()
        if key not in KEYS:
            problems.append(f"--set: unknown setting '{key}' (known: {', '.join(KEYS)})")
        else:
            values[key] = (value.strip(), os.getcwd(), f"--set {key}")
        rest = rest[2:]

    def value(key, default=""):
        return values[key][0] if key in values else default

    def where(key):
        return values[key][2] if key in values else settings

    def path_of(key, name):
        return os.path.normpath(os.path.join(values[key][1], name))

    warnings = []
    for key in REQUIRED:
        if key not in values:
            problems.append(f"{settings}: '{key}' is missing: {KEYS[key]}")
    for key in ("product_name", "publisher"):
        if key in values and not NAME.match(value(key)):
            problems.append(f"{where(key)}: {key} '{value(key)}' may hold letters, digits, spaces and ._,&'()+- "
                            "only, and must not begin or end with a space or dot")
    version = value("version")
    if "version" in values and (not re.match(r"^\d+(\.\d+){1,3}$", version)
                                or any(int(n) > 65535 for n in version.split("."))):
        problems.append(f"{where('version')}: version '{version}' must be 2 to 4 dot-separated numbers, "
                        "each at most 65535 (1.2.0)")
    platforms = value("platforms", " ".join(PLATFORMS)).split()
    for platform in platforms:
        if platform not in PLATFORMS:
            problems.append(f"{where('platforms')}: unknown platform '{platform}' (win32, win64, linux)")
    if not platforms:
        problems.append(f"{where('platforms')}: no platform to build")
    contact = value("contact")
    if "linux" in platforms and not EMAIL.match(contact):
        problems.append(f"{where('contact')}: contact '{contact}' is not an e-mail address "
                        "(the Linux package names its maintainer)")
    package = value("package_name")
    if package and not PACKAGE.match(package):
        problems.append(f"{where('package_name')}: package_name '{package}' must be lower-case letters, "
                        "digits and + . -, at least two")
    elif not package and "product_name" in values:
        derived = re.sub(r"[^a-z0-9]+", "-", value("product_name").lower()).strip("-")
        if not PACKAGE.match(derived):
            problems.append(f"{where('product_name')}: no package name can be made from '{value('product_name')}': "
                            "set package_name")

    base_url = value("base_url")
    if "base_url" in values:
        if base_url == "":
            warnings.append(f"{where('base_url')}: base_url is empty: the hosts download nothing and load the "
                            "lobby library they find in their store")
        else:
            problem = url_problem(base_url)
            if problem:
                problems.append(f"{where('base_url')}: base_url '{base_url}' is not a usable base URL: {problem}")
            elif base_url.startswith("http://"):
                warnings.append(f"{where('base_url')}: base_url is plain http://: whoever sits between a player "
                                f"and the server can change what is downloaded"
                                f"{'' if value('content_keys') else ' (sign the content: content_keys)'}; "
                                "use https:// where you can")

    keys = [path_of("content_keys", k) for k in value("content_keys").split()]
    threshold = value("content_key_threshold", "1")
    if "content_key_threshold" in values and not keys:
        problems.append(f"{where('content_key_threshold')}: content_key_threshold is set but content_keys is not")
    elif not threshold.isdigit():
        problems.append(f"{where('content_key_threshold')}: content_key_threshold '{threshold}' is not a number")
    elif keys:
        missing = [k for k in keys if not os.path.isfile(k)]
        if missing:
            problems.append(f"{where('content_keys')}: no key file at {', '.join(missing)}")
        else:
            # The same check the build makes (tools/content_key_header.py),
            # made here so that a bad key stops before anything is built.
            with tempfile.TemporaryDirectory() as scratch:
                checked = subprocess.run([sys.executable, KEY_TOOL, "--threshold", threshold,
                                          os.path.join(scratch, "key.h"), *keys],
                                         capture_output=True, text=True)
            if checked.returncode != 0:
                reason = (checked.stderr.strip() or checked.stdout.strip() or "refused").splitlines()[-1]
                problems.append(f"{where('content_keys')}: content_keys: {reason}")

    icon = path_of("icon", value("icon")) if value("icon") else ""
    if icon:
        try:
            with open(icon, "rb") as f:
                magic = f.read(4)
        except OSError as e:
            magic = None
            problems.append(f"{where('icon')}: icon '{icon}' cannot be read: {e.strerror}")
        if magic is not None and magic != b"\0\0\1\0":
            problems.append(f"{where('icon')}: icon '{icon}' is not a Windows icon (.ico) file")

    for warning in warnings:
        print(f"release: warning: {warning}", file=sys.stderr)
    if problems:
        for problem in problems:
            print(f"release: {problem}", file=sys.stderr)
        return 1

    def cmake(text):
        return '"' + text.replace("\\", "\\\\").replace('"', '\\"').replace("$", "\\$") + '"'

    options = {
        "TAMBER_PRODUCT_NAME": value("product_name"),
        "TAMBER_VERSION": version,
        "TAMBER_PUBLISHER": value("publisher"),
        "TAMBER_CONTACT": contact,
        "TAMBER_BASE_URL": base_url,
        "TAMBER_CONTENT_KEY": ";".join(keys),
        "TAMBER_CONTENT_KEY_THRESHOLD": threshold,
        "TAMBER_PACKAGE_NAME": package,
    }
    if icon:
        options["TAMBER_ICON"] = icon
    with open(cache, "w") as f:
        f.write("# The operator's settings, from " + os.path.abspath(settings) + " (packaging/settings.py).\n")
        for name, text in options.items():
            f.write(f"set({name} {cmake(text)} CACHE STRING \"\" FORCE)\n")
    with open(shell, "w") as f:
        f.write(f"platforms={shlex.quote(' '.join(p for p in PLATFORMS if p in platforms))}\n")
        f.write(f"product_name={shlex.quote(value('product_name'))}\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
