"""Reading a PE file (a Windows executable or DLL) for tests: header fields, sections, imports,
resources and image-relative addresses."""
import struct


class PeFile:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        assert data[pe:pe + 4] == b"PE\0\0", "no PE signature"
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        self.optional = pe + 24
        self.magic = struct.unpack_from("<H", data, self.optional)[0]
        self.sections = []
        table = self.optional + optional_size
        for i in range(sections):
            name, vsize, vaddr, rawsize, rawptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((vaddr, max(vsize, rawsize), rawptr))

    def field(self, fmt, offset):
        return struct.unpack_from(fmt, self.data, self.optional + offset)[0]

    def directory(self, index):
        return struct.unpack_from("<II", self.data, self.optional + 112 + 8 * index)

    def offset(self, rva):
        for vaddr, size, rawptr in self.sections:
            if vaddr <= rva < vaddr + size:
                return rawptr + rva - vaddr
        raise ValueError(f"RVA {rva:#x} outside every section")

    def cstring(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode()

    def imports(self):
        result = {}
        rva, _ = self.directory(1)
        at = self.offset(rva)
        while True:
            lookup, _, _, name, first = struct.unpack_from("<IIIII", self.data, at)
            if name == 0:
                return result
            functions = []
            thunk = self.offset(lookup or first)
            while True:
                entry = struct.unpack_from("<Q", self.data, thunk)[0]
                if entry == 0:
                    break
                functions.append(f"#{entry & 0xFFFF}" if entry >> 63 else self.cstring(entry + 2))
                thunk += 8
            result[self.cstring(name)] = functions
            at += 20

    def resources(self):
        """[(type, id, language, bytes)] in directory order."""
        base_rva, _ = self.directory(2)
        base = self.offset(base_rva)

        def entries(offset):
            named, ids = struct.unpack_from("<HH", self.data, base + offset + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, base + offset + 16 + 8 * i)
                yield name, target

        out = []
        for kind, t1 in entries(0):
            for ident, t2 in entries(t1 & 0x7FFFFFFF):
                for language, t3 in entries(t2 & 0x7FFFFFFF):
                    rva, size = struct.unpack_from("<II", self.data, base + t3)
                    start = self.offset(rva)
                    out.append((kind, ident, language, self.data[start:start + size]))
        return out

    @property
    def image_base(self):
        return struct.unpack_from("<Q", self.data, self.optional + 24)[0]

    def qword(self, rva):
        return struct.unpack_from("<Q", self.data, self.offset(rva))[0]
