#!/usr/bin/env python3
"""Follows integer code into the runtime linked into the plug-in, and tells every x87, MMX or
SSE instruction it can reach there.

Integer members of our archives call the C++ runtime, the compiler's support library and the
MinGW C library, all linked statically and none of it built to keep off the x87: the hash
tables' rehash policy computes with float load factors, the printf family formats floats,
and either changes the game's x87 state when a hook reaches it.

What can run is followed piece of code by piece of code. A piece starts at a symbol or at a
place something refers to, and ends where the next starts. From the symbols an integer member
leaves undefined, each reference leads to the piece it names: a symbol resolves to the first
object or archive member in link order that defines it, as the linker picks (within a member,
a static symbol or a section to that member's own); the in-place addend says where in it. A
piece of code leads on to what its relocations refer to (calls, jumps, addresses taken), to
the targets of its branches within its section, and to the next piece when it does not end
in a return or jump; a piece of data to what its relocations refer to (a vtable's virtual
functions, a jump table's cases, a table of handlers). It stops at our own archives (their
integer members are proven instruction by instruction, their floating-point members entered
only where CheckIntegerCode.sh allows), at DLL imports (another matter: members of import
libraries; a pointer the C library defines in place of an import leads on to its code), at
routines that end the process, and at symbols nothing defines (the linker's own).
Unwinding and debugging records are never run: not followed.

Prints, for each integer member and each reached routine that runs such an instruction, the
first such instruction and the shortest way there, then exits with status 0:
  Profiles.cpp.obj: reaches A > B, which runs fld ... in libstdc++.a(member.o)

  CheckRuntimeReach.py OBJDUMP CXXFILT CACHE FLOAT_MEMBERS RUNTIME ARCHIVE...
RUNTIME: the runtime's objects and archives in link order, separated by ","; ARCHIVE: ours.
CACHE: a folder that keeps what was read of each runtime file, until it or this script
changes. FLOAT_MEMBERS: our floating-point members, separated by ",".
"""
import bisect
import hashlib
import json
import os
import re
import struct
import subprocess
import sys
from collections import deque

# Instructions that use the x87, MMX or SSE state, judged as CheckIntegerCode.sh judges ours.
FLOAT_MNEMONIC = re.compile(r"f|(ldmxcsr|stmxcsr|emms)$")
FLOAT_OPERAND = re.compile(r"%(x|y)?mm[0-9]|%st")
PREFIXES = {"rep", "repz", "repnz", "repe", "repne", "lock", "bnd", "notrack",
            "data16", "addr16", "cs", "ds", "es", "fs", "gs", "ss"}
ENDINGS = {"ret", "jmp", "ud2", "hlt", "iret", "lret"}  # code does not run on past these
PADDING = re.compile(r"(nop.*|xchg +%ax,%ax|int3|mov +%(\w+),%\2|lea +(0x0)?\(%(\w+)(,%eiz,1)?\),%\4)$")
DIRECT_BRANCH = re.compile(r"(call|jmp|j[a-z]+|loop[a-z]*) +([0-9a-f]+) <")
INSTRUCTION = re.compile(r" *[0-9a-f]+:\t")
# The process ends in these (the default terminate handler among them: exceptions keep it
# at hand, std::terminate alone runs it): whatever they run, the game does not run on.
ENDS_PROCESS = {"__ZSt9terminatev", "__ZN10__cxxabiv111__terminateEPFvvE",
                "__ZN9__gnu_cxx27__verbose_terminate_handlerEv", "_abort"}
NEVER_RUN = re.compile(r"\.(debug|eh_frame|pdata|xdata|drectve)")

# COFF (i386): relocations that hold an address of code or data, the addend in place.
I386, DIR32, DIR32NB, REL32 = 0x14C, 6, 7, 20
EXTERNAL, STATIC, WEAK = 2, 3, 105
CODE, MANY_RELOCATIONS = 0x20 | 0x20000000, 0x01000000


def archive_members(path):
    """(name, contents) of each member of an ar archive, or of a lone object."""
    with open(path, "rb") as file:
        data = file.read()
    if not data.startswith(b"!<arch>\n"):
        yield os.path.basename(path), data
        return
    position, long_names = 8, b""
    while position + 60 <= len(data):
        name = data[position:position + 16].decode().rstrip()
        size = int(data[position + 48:position + 58])
        contents = data[position + 60:position + 60 + size]
        position += 60 + size + (size & 1)
        if name == "//":
            long_names = contents
        elif name not in ("/", "/SYM64/"):
            if name.startswith("/"):
                start = int(name[1:])
                name = long_names[start:long_names.index(b"\n", start)].decode()
            yield name.rstrip("/"), contents


def read_object(data):
    """The sections of a COFF object, each [name, code?, size, [(offset, symbol, addend)]],
    and its symbols, each [name, section number (1-based, 0: undefined), value, class]."""
    machine, count, _, table, symbol_count, optional, _ = struct.unpack_from("<HHIIIHH", data)
    if machine != I386:
        raise ValueError(f"not an i386 COFF object (machine {machine:#x})")
    strings = table + 18 * symbol_count

    def name_at(raw):
        if raw.startswith(b"/") or raw.startswith(b"\0\0\0\0"):
            start = strings + (int(raw[1:].rstrip(b"\0")) if raw.startswith(b"/") else
                               struct.unpack_from("<I", raw, 4)[0])
            return data[start:data.index(b"\0", start)].decode()
        return raw.rstrip(b"\0").decode()

    symbols, index = {}, 0
    while index < symbol_count:
        raw, value, section, _, storage, aux = struct.unpack_from("<8sIhHBB", data, table + 18 * index)
        symbols[index] = [name_at(raw), section, value, storage]
        index += 1 + aux
    sections = []
    for number in range(count):
        (raw, _, _, size, contents, relocations, _, relocation_count, _,
         flags) = struct.unpack_from("<8sIIIIIIHHI", data, 20 + optional + 40 * number)
        if flags & MANY_RELOCATIONS:  # the count is in the first record, which is no relocation
            relocation_count = struct.unpack_from("<I", data, relocations)[0]
        references = []
        for at in range(relocations, relocations + 10 * relocation_count, 10):
            offset, symbol, kind = struct.unpack_from("<IIH", data, at)
            if kind in (DIR32, DIR32NB, REL32):
                addend = struct.unpack_from("<i", data, contents + offset)[0]
                references.append((offset, symbol, addend))
        sections.append([name_at(raw), bool(flags & CODE), size, references])
    return sections, list(symbols.values()), symbols


def read_instructions(objdump, path):
    """Per member, per code section: [(address, instruction, direct branch target)], as the
    disassembler tells them (a branch relocated is no direct one: its target is the symbol's)."""
    members, sections, listing = [], None, None
    command = [objdump, "-dr", "--no-show-raw-insn", path]
    for line in subprocess.run(command, check=True, capture_output=True, text=True).stdout.splitlines():
        if line.startswith("\t\t\t"):  # a relocation of the instruction above
            address, text, _ = listing[-1]
            listing[-1] = (address, text, None)
        elif INSTRUCTION.match(line):
            address, text = line.split(":\t", 1)
            text = text.strip()
            branch = DIRECT_BRANCH.match(text)
            listing.append((int(address, 16), text, int(branch.group(2), 16) if branch else None))
        elif line.startswith("Disassembly of section "):
            listing = sections.setdefault(line[23:-1], [])
        elif ":     file format " in line:
            sections = {}
            members.append(sections)
    return members


def first_float_instruction(listing):
    for _, text, _ in listing:
        words = text.split()
        while len(words) > 1 and words[0] in PREFIXES:
            words.pop(0)
        if FLOAT_MNEMONIC.match(words[0]) or FLOAT_OPERAND.search(" ".join(words[1:])):
            return " ".join(text.split())
    return None


def runs_on(listing):
    for _, text, _ in reversed(listing):
        if not PADDING.match(text):
            return text.split()[0] not in ENDINGS
    return True


def member_facts(name, data, instructions):
    """What the check needs of one runtime member: its global definitions, and its pieces of
    code and data, each [start, label, references, first x87/MMX/SSE instruction, runs on,
    branch targets]. A reference is [symbol, addend], or ["", section, offset] for the
    member's own static symbols and sections."""
    sections, symbols, by_index = read_object(data)
    names = [section[0] for section in sections]
    defines, starts, labels = {}, {}, {}
    for symbol, number, value, storage in symbols:
        if number > 0 and storage in (EXTERNAL, STATIC):
            section = names[number - 1]
            starts.setdefault(section, set()).add(value)
            if symbol != section and (storage == EXTERNAL or (section, value) not in labels):
                labels[(section, value)] = symbol
            if storage == EXTERNAL:
                defines[symbol] = [section, value]
    pieces = {}
    for section, code, size, relocations in sections:
        if NEVER_RUN.match(section) or not (code or relocations):
            continue
        references = []
        for offset, index, addend in relocations:
            symbol, number, value, storage = by_index[index]
            if storage in (EXTERNAL, WEAK):
                references.append((offset, [symbol, addend]))
            elif number > 0:
                target = names[number - 1]
                references.append((offset, ["", target, value + addend]))
                starts.setdefault(target, set()).add(value + addend)
        pieces[section] = (code, size, references)
    labeled = {}
    for section, value in sorted(labels):
        labeled.setdefault(section, []).append(value)
    facts = {}
    for section, (code, size, references) in pieces.items():
        bounds = sorted(start for start in starts.get(section, set()) | {0} if 0 <= start < max(size, 1))
        listing = instructions.get(section, []) if code else []
        at = [address for address, _, _ in listing]
        named = labeled.get(section, [])
        facts[section] = []
        for start, end in zip(bounds, bounds[1:] + [size]):
            before = bisect.bisect_right(named, start)
            label = labels[(section, named[before - 1])] if before else section
            part = listing[bisect.bisect_left(at, start):bisect.bisect_left(at, end)]
            facts[section].append([start, label, [r for o, r in references if start <= o < end],
                                   first_float_instruction(part) if code else None,
                                   code and runs_on(part),
                                   [target for _, _, target in part if target is not None]])
    return {"name": name, "defines": defines, "pieces": facts,
            "imports": any(section.startswith(".idata$") for section in names)}


def read_runtime_file(objdump, cache, path):
    """The facts of one runtime file's members, read again only when it or this script changed."""
    with open(__file__, "rb") as script:
        stamp = [os.path.getsize(path), os.stat(path).st_mtime_ns, hashlib.sha1(script.read()).hexdigest()]
    kept = os.path.join(cache, re.sub(r"[^\w.+-]", "_", os.path.realpath(path)) + ".json")
    if os.path.exists(kept):
        with open(kept) as file:
            facts = json.load(file)
        if facts["stamp"] == stamp:
            return facts["members"]
    members = list(archive_members(path))
    instructions = read_instructions(objdump, path)
    if len(instructions) != len(members):
        sys.exit(f"integer code check: {path}: {len(members)} members, {len(instructions)} disassembled")
    facts = []
    for (name, data), code in zip(members, instructions):
        try:
            facts.append(member_facts(name, data, code))
        except ValueError as error:
            sys.exit(f"integer code check: {path}({name}): {error}")
    os.makedirs(cache, exist_ok=True)
    with open(kept + ".new", "w") as file:
        json.dump({"stamp": stamp, "members": facts}, file)
    os.replace(kept + ".new", kept)
    return facts


class Runtime:
    """The runtime's pieces of code and data, and where each reference leads."""

    def __init__(self, files, ours):
        self.ours = ours
        self.members = []
        self.first = {}  # global symbol: the member that defines it first in link order
        for path, members in files:
            for member in members:
                member["file"] = os.path.basename(path)
                member["starts"] = {s: [p[0] for p in ps] for s, ps in member["pieces"].items()}
                self.members.append(member)
                for symbol in member["defines"]:
                    self.first.setdefault(symbol, len(self.members) - 1)

    def place(self, index, section, offset):
        starts = self.members[index]["starts"].get(section)
        if not starts or offset < starts[0]:
            return []
        return [(index, section, bisect.bisect_right(starts, offset) - 1)]

    def resolve(self, index, reference):
        """Where a reference from the member at index (None: from our code) leads."""
        if reference[0] == "":
            return self.place(index, reference[1], reference[2])
        symbol, addend = reference
        if symbol in self.ours or symbol not in self.first:
            return []
        index = self.first[symbol]
        if self.members[index]["imports"]:
            return []
        section, value = self.members[index]["defines"][symbol]
        return self.place(index, section, value + addend)

    def piece(self, place):
        index, section, number = place
        return self.members[index]["pieces"][section][number]

    def label(self, place):
        """The name of the routine or data at place: a section's own, or its member's, when
        no symbol names it; none for data without a name (a jump table, constants)."""
        index, section, _ = place
        label = self.piece(place)[1]
        if label != section or not re.fullmatch(r"\.\w+(\.unlikely|\.startup)?", section):
            return label
        return f"{section} of {self.members[index]['name']}" if section.startswith(".text") else None

    def following(self, place):
        index, section, number = place
        _, _, references, _, on, branches = self.piece(place)
        places = [p for reference in references for p in self.resolve(index, reference)]
        places += [p for target in branches for p in self.place(index, section, target)]
        if on and number + 1 < len(self.members[index]["pieces"][section]):
            places.append((index, section, number + 1))
        return places


def our_symbols(archives, float_members):
    """The global symbols our archives define, and those each integer member leaves undefined."""
    defined, undefined = set(), {}
    for archive in archives:
        for member, data in archive_members(archive):
            _, symbols, _ = read_object(data)
            for symbol, number, value, storage in symbols:
                if storage == EXTERNAL and (number != 0 or value > 0):
                    defined.add(symbol)
                elif storage in (EXTERNAL, WEAK) and number == 0 and member not in float_members:
                    undefined.setdefault(member, set()).add(symbol)
    return defined, undefined


def readable(cxxfilt, labels):
    """Demangled, without the assembler's leading underscore; a section by the symbol it holds."""
    bare = {}
    for label in labels:
        inner = re.match(r"\.(?:text|rdata|data|bss)(?:\.unlikely\.|\.startup\.|\$)(.+)", label)
        bare[label] = "_" + inner.group(1) if inner else label
    mangled = sorted(set(bare.values()))
    shown = subprocess.run([cxxfilt], input="\n".join(mangled), check=True, capture_output=True,
                           text=True).stdout.splitlines()
    shown = dict(zip(mangled, shown))
    result = {}
    for label, name in bare.items():
        text = shown[name] if shown[name] != name else name[1:] if name.startswith("_") else name
        result[label] = text + (" (cold part)" if label.startswith(".text.unlikely") else "")
    return result


def main(objdump, cxxfilt, cache, float_members, runtime, *archives):
    ours, undefined = our_symbols(archives, set(float_members.split(",")))
    code = Runtime([(path, read_runtime_file(objdump, cache, path)) for path in runtime.split(",")], ours)
    told = []
    for member in sorted(undefined):
        came_from, queue = {}, deque()
        for symbol in sorted(undefined[member]):
            for place in code.resolve(None, [symbol, 0]):
                if place not in came_from:
                    came_from[place] = None
                    queue.append(place)
        while queue:
            place = queue.popleft()
            if code.piece(place)[1] in ENDS_PROCESS:
                continue
            for following in code.following(place):
                if following not in came_from:
                    came_from[following] = place
                    queue.append(following)
        reported = set()
        for place in came_from:  # in the order reached: the shortest way first
            routine, instruction = code.piece(place)[1], code.piece(place)[3]
            if instruction and (place[0], routine) not in reported:
                reported.add((place[0], routine))
                path = [place]
                while came_from[path[-1]]:
                    path.append(came_from[path[-1]])
                named = [label for label in map(code.label, reversed(path)) if label]
                labels = [label for i, label in enumerate(named) if i == 0 or label != named[i - 1]]
                told.append((member, labels, instruction, code.members[place[0]]))
    shown = readable(cxxfilt, {label for _, labels, _, _ in told for label in labels})
    for member, labels, instruction, where in told:
        print(f"{member}: reaches {' > '.join(shown[label] for label in labels)}, "
              f"which runs {instruction} in {where['file']}({where['name']})")


if __name__ == "__main__":
    main(*sys.argv[1:])
