#include "cli/html_params.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <map>

#include "base/cp1252.h"
#include "base/text.h"

namespace imptherm::cli {
namespace {

constexpr char kControlClassId[] = "F0BD7B50-E791-4E1C-ADA6-989562A19877";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

const std::map<std::string, char32_t>& NamedReferences() {
  static const std::map<std::string, char32_t> table = [] {
    std::map<std::string, char32_t> t = {{"amp", '&'},       {"lt", '<'},       {"gt", '>'},       {"quot", '"'},
                                         {"apos", '\''},     {"euro", 0x20AC},  {"oelig", 0x153},  {"OElig", 0x152},
                                         {"hellip", 0x2026}, {"rsquo", 0x2019}, {"lsquo", 0x2018}, {"ndash", 0x2013},
                                         {"mdash", 0x2014}};
    const char* latin1 =
        "nbsp iexcl cent pound curren yen brvbar sect uml copy ordf laquo not shy reg macr deg plusmn sup2 sup3 acute "
        "micro para middot cedil sup1 ordm raquo frac14 frac12 frac34 iquest Agrave Aacute Acirc Atilde Auml Aring "
        "AElig Ccedil Egrave Eacute Ecirc Euml Igrave Iacute Icirc Iuml ETH Ntilde Ograve Oacute Ocirc Otilde Ouml "
        "times Oslash Ugrave Uacute Ucirc Uuml Yacute THORN szlig agrave aacute acirc atilde auml aring aelig ccedil "
        "egrave eacute ecirc euml igrave iacute icirc iuml eth ntilde ograve oacute ocirc otilde ouml divide oslash "
        "ugrave uacute ucirc uuml yacute thorn yuml";
    char32_t cp = 0xA0;
    for (const char* p = latin1; *p;) {
      const char* e = p;
      while (*e && *e != ' ') ++e;
      t.emplace(std::string(p, e), cp++);
      p = *e ? e + 1 : e;
    }
    return t;
  }();
  return table;
}

struct Tag {
  std::string name;                               // lower case, "/object" for an end tag
  std::map<std::string, std::string> attributes;  // lower-case names, decoded values
};

// Reads the tag that starts at text[pos] == '<'; pos ends after its '>'.
Tag ReadTag(std::string_view text, std::size_t& pos) {
  Tag tag;
  std::size_t i = pos + 1;
  std::size_t start = i;
  if (i < text.size() && text[i] == '/') ++i;
  while (i < text.size() && std::isalnum(static_cast<unsigned char>(text[i]))) ++i;
  tag.name = LowerAscii(text.substr(start, i - start));
  for (;;) {
    while (i < text.size() && (IsSpace(text[i]) || text[i] == '/')) ++i;
    if (i >= text.size() || text[i] == '>') break;
    std::size_t ns = i;
    while (i < text.size() && !IsSpace(text[i]) && text[i] != '=' && text[i] != '>' && text[i] != '/') ++i;
    std::string name = LowerAscii(text.substr(ns, i - ns));
    while (i < text.size() && IsSpace(text[i])) ++i;
    std::string value;
    if (i < text.size() && text[i] == '=') {
      ++i;
      while (i < text.size() && IsSpace(text[i])) ++i;
      if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
        char quote = text[i++];
        std::size_t vs = i;
        while (i < text.size() && text[i] != quote) ++i;
        value = std::string(text.substr(vs, i - vs));
        if (i < text.size()) ++i;
      } else {
        std::size_t vs = i;
        while (i < text.size() && !IsSpace(text[i]) && text[i] != '>') ++i;
        value = std::string(text.substr(vs, i - vs));
      }
    }
    if (!name.empty()) tag.attributes.emplace(name, DecodeCharacterReferences(value));
  }
  pos = i < text.size() ? i + 1 : i;
  return tag;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();)
    if (!DecodeUtf8(text, pos)) return false;
  return true;
}

struct ObjectElement {
  std::string classId;
  NamedValues params;
};

}  // namespace

std::string DecodeCharacterReferences(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] != '&') {
      out.push_back(text[i++]);
      continue;
    }
    std::size_t semi = text.find(';', i);
    if (semi != std::string_view::npos && semi - i <= 12) {
      std::string_view body = text.substr(i + 1, semi - i - 1);
      if (body.size() >= 2 && body[0] == '#') {
        bool hex = body[1] == 'x' || body[1] == 'X';
        std::string digits(body.substr(hex ? 2 : 1));
        char* end = nullptr;
        unsigned long v = digits.empty() ? 0 : std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
        if (!digits.empty() && end && *end == '\0' && std::isxdigit(static_cast<unsigned char>(digits[0]))) {
          AppendUtf8(out, static_cast<char32_t>(v == 0 || v > 0x10FFFF ? 0xFFFD : v));
          i = semi + 1;
          continue;
        }
      } else if (auto it = NamedReferences().find(std::string(body)); it != NamedReferences().end()) {
        AppendUtf8(out, it->second);
        i = semi + 1;
        continue;
      }
    }
    out.push_back(text[i++]);  // not a reference: the ampersand stands
  }
  return out;
}

Parsed<NamedValues> ParsePageParameters(std::string_view html) {
  // Work on UTF-8; a page in the Windows code page is converted first.
  std::string text = IsValidUtf8(html) ? std::string(html) : Cp1252ToUtf8(html);
  std::vector<ObjectElement> objects;
  std::vector<std::size_t> open;  // indexes into objects
  for (std::size_t pos = 0; (pos = text.find('<', pos)) != std::string::npos;) {
    if (text.compare(pos, 4, "<!--") == 0) {
      std::size_t end = text.find("-->", pos + 4);
      pos = end == std::string::npos ? text.size() : end + 3;
      continue;
    }
    Tag tag = ReadTag(text, pos);
    if (tag.name == "object") {
      objects.push_back({tag.attributes["classid"], {}});
      open.push_back(objects.size() - 1);
    } else if (tag.name == "/object") {
      if (!open.empty()) open.pop_back();
    } else if (tag.name == "param" && !open.empty()) {
      auto name = tag.attributes.find("name");
      if (name == tag.attributes.end()) continue;
      objects[open.back()].params.emplace_back(Utf8ToCp1252(name->second), Utf8ToCp1252(tag.attributes["value"]));
    }
  }
  if (objects.empty()) return ParseError{"the page holds no <object> element"};
  const ObjectElement* chosen = &objects.front();
  for (const auto& o : objects)
    if (LowerAscii(o.classId).find(LowerAscii(kControlClassId)) != std::string::npos) {
      chosen = &o;
      break;
    }
  return chosen->params;
}

}  // namespace imptherm::cli
