// A library's exports against its exports.map: every name of the map is
// exported and defined by the library itself, except an explicit list of
// names not built yet, which must then be missing; nothing else is exported.
#pragma once

#include "tolvex_test.h"

#include <dlfcn.h>
#include <elf.h>

#include <algorithm>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace tolvex_test {

// The names a version script exports: those between "global:" and "local:",
// comments left out.
inline std::vector<std::string> MapExports(const std::string& mapPath) {
  std::ifstream in(mapPath);
  std::string text{std::istreambuf_iterator<char>(in), {}};
  text = std::regex_replace(text, std::regex(R"(/\*[\s\S]*?\*/)"), " ");
  auto global = text.find("global:");
  auto local = text.find("local:");
  std::vector<std::string> names;
  if (global == std::string::npos || local == std::string::npos || local < global) return names;
  std::string section = text.substr(global + 7, local - global - 7);
  std::regex name(R"(([A-Za-z_][A-Za-z0-9_]*)\s*;)");
  for (std::sregex_iterator it(section.begin(), section.end(), name), end; it != end; ++it)
    names.push_back((*it)[1]);
  return names;
}

// The global symbols an ELF shared object defines in its dynamic symbol
// table, read from the file.
inline std::set<std::string> DefinedDynamicSymbols(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string file{std::istreambuf_iterator<char>(in), {}};
  std::set<std::string> names;
  if (file.size() < sizeof(Elf64_Ehdr)) return names;
  auto at = [&](size_t offset, size_t size) {
    return offset <= file.size() && size <= file.size() - offset ? file.data() + offset : nullptr;
  };
  const auto* header = reinterpret_cast<const Elf64_Ehdr*>(file.data());
  const char* tableStart = at(header->e_shoff, size_t(header->e_shnum) * sizeof(Elf64_Shdr));
  if (!tableStart) return names;
  const auto* sections = reinterpret_cast<const Elf64_Shdr*>(tableStart);
  for (unsigned i = 0; i < header->e_shnum; ++i) {
    const Elf64_Shdr& symtab = sections[i];
    if (symtab.sh_type != SHT_DYNSYM || symtab.sh_link >= header->e_shnum) continue;
    const Elf64_Shdr& strtab = sections[symtab.sh_link];
    const char* symbols = at(symtab.sh_offset, symtab.sh_size);
    const char* strings = at(strtab.sh_offset, strtab.sh_size);
    if (!symbols || !strings) continue;
    for (size_t s = 0; s < symtab.sh_size / sizeof(Elf64_Sym); ++s) {
      const auto& symbol = reinterpret_cast<const Elf64_Sym*>(symbols)[s];
      int binding = ELF64_ST_BIND(symbol.st_info);
      if (symbol.st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK)) continue;
      if (symbol.st_name < strtab.sh_size) names.insert(strings + symbol.st_name);
    }
  }
  return names;
}

// Checks a loaded library against its map.
inline void ExpectExportsMatchMap(Library& lib, const std::string& libraryPath,
                                  const std::string& mapPath,
                                  const std::set<std::string>& notBuiltYet = {}) {
  std::vector<std::string> names = MapExports(mapPath);
  ASSERT_FALSE(names.empty()) << mapPath;
  for (const auto& name : notBuiltYet)
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end())
        << name << " is listed as not built yet but is not in the map";

  std::set<std::string> expected;
  for (const auto& name : names) {
    void* p = lib.Symbol(name.c_str());
    if (notBuiltYet.count(name)) {
      EXPECT_EQ(p, nullptr) << name << " is built now: take it off the list of names not built yet";
      continue;
    }
    expected.insert(name);
    Dl_info info{};
    if (!p || !dladdr(p, &info)) {
      ADD_FAILURE() << "missing export " << name;
      continue;
    }
    // Defined by this library, not borrowed from another one.
    EXPECT_EQ(std::string(info.dli_fname), libraryPath) << name;
  }
  EXPECT_EQ(DefinedDynamicSymbols(libraryPath), expected) << "exported beyond or short of " << mapPath;
}

// The map holds `count` names and the library matches it (above); none of
// the library's internal names given leaks out.
inline void ExpectOnlyTheMap(Library& lib, const std::string& libraryPath, const std::string& mapPath,
                             size_t count, const std::set<std::string>& notBuiltYet,
                             std::initializer_list<const char*> internal) {
  EXPECT_EQ(MapExports(mapPath).size(), count);
  ExpectExportsMatchMap(lib, libraryPath, mapPath, notBuiltYet);
  for (const char* name : internal) EXPECT_FALSE(lib.Has(name)) << name;
}

}  // namespace tolvex_test
