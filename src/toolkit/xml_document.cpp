#include "toolkit/xml_document.h"

#include <chrono>
#include <cstring>
#include <limits>
#include <random>

#include "toolkit/file_system.h"
#include "toolkit/text_helpers.h"

namespace mirabex {
namespace {

// The pseudo-element at the bottom of the parse stack stands for the document itself: "文件".
constexpr std::string_view kDocumentElement = "\xCE\xC4\xBC\xFE";
constexpr std::string_view kCdataOpen = "<![CDATA[";
constexpr std::string_view kCdataClose = "]]>";
constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"gb2312\"?>";
constexpr int kMarkerTries = 100;
constexpr int kMarkerLetters = 5;

// All structural bytes (< > / = " ? ! and whitespace) lie below 0x40, so they never occur as the
// trail byte of a GBK character and byte scans here cannot cut a character.
bool isWhitespace(char byte) { return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n'; }

bool isOnlyWhitespace(std::string_view text) {
  for (char byte : text) {
    if (!isWhitespace(byte)) return false;
  }
  return true;
}

bool isNodeName(std::string_view name) {
  return !name.empty() && !isWhitespace(name.front()) && name.front() != '@' && name.front() != '<';
}

// The last ">" by forward memchr hops: a long text after a tag (a description) is then crossed
// in one vectorised pass instead of a byte-by-byte scan from its end.
std::size_t lastGreaterThan(std::string_view piece) {
  std::size_t last = std::string_view::npos;
  const char* at = piece.data();
  const char* const end = piece.data() + piece.size();
  while (at < end) {
    const void* found = std::memchr(at, '>', static_cast<std::size_t>(end - at));
    if (!found) break;
    const char* gt = static_cast<const char*>(found);
    last = static_cast<std::size_t>(gt - piece.data());
    at = gt + 1;
  }
  return last;
}

// A whole, non-empty run of decimal digits that fits the node numbers.
bool parseNumber(std::string_view digits, std::uint32_t& number) {
  if (digits.empty()) return false;
  std::uint64_t value = 0;
  for (char byte : digits) {
    if (byte < '0' || byte > '9') return false;
    value = value * 10 + static_cast<unsigned>(byte - '0');
    if (value > std::numeric_limits<std::uint32_t>::max()) return false;
  }
  number = static_cast<std::uint32_t>(value);
  return true;
}

std::minstd_rand& markerGenerator() {
  thread_local std::minstd_rand generator(static_cast<std::minstd_rand::result_type>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  return generator;
}

// "@" and five random capitals that do not occur in the document; empty when 100 draws all occur.
Bytes chooseCdataMarker(std::string_view document) {
  std::uniform_int_distribution<int> letter('A', 'Z');
  Bytes marker(1 + kMarkerLetters, '@');
  for (int attempt = 0; attempt < kMarkerTries; ++attempt) {
    for (int i = 1; i <= kMarkerLetters; ++i) marker[i] = static_cast<char>(letter(markerGenerator()));
    if (document.find(marker) == std::string_view::npos) return marker;
  }
  return {};
}

// Takes every CDATA section out of `document` into `sections`, leaving marker + "," + number + "."
// in its place, so that the "<" and ">" inside a section cannot cut the document.
void replaceCdataSections(Bytes& document, const Bytes& marker, std::vector<Bytes>& sections) {
  std::size_t open = document.find(kCdataOpen);
  // Without a marker a replacement could not be told apart from text, so the sections stay.
  if (open == Bytes::npos || marker.empty()) return;
  Bytes result;
  result.reserve(document.size());
  std::size_t copied = 0;
  while (open != Bytes::npos) {
    const std::size_t contentStart = open + kCdataOpen.size();
    const std::size_t close = document.find(kCdataClose, contentStart);
    if (close == Bytes::npos) break;
    sections.emplace_back(document, contentStart, close - contentStart);
    result.append(document, copied, open - copied);
    result += marker;
    result += ',';
    result += std::to_string(sections.size());
    result += '.';
    copied = close + kCdataClose.size();
    open = document.find(kCdataOpen, copied);
  }
  result.append(document, copied, Bytes::npos);
  document = std::move(result);
}

// The tag with all whitespace next to an "=" removed, as repeated replacement of " =", "= " etc.
// would leave it, in one pass.
void joinEquals(std::string_view tag, Text& out) {
  out.clear();
  std::size_t pendingWhitespace = 0;  // start in `tag` of a whitespace run not yet copied
  bool inRun = false;
  bool afterEquals = false;
  for (std::size_t i = 0; i < tag.size(); ++i) {
    const char byte = tag[i];
    if (isWhitespace(byte)) {
      if (afterEquals) continue;
      if (!inRun) {
        inRun = true;
        pendingWhitespace = i;
      }
      continue;
    }
    if (byte == '=') {
      inRun = false;
      afterEquals = true;
      out += '=';
      continue;
    }
    if (inRun) out.append(tag.substr(pendingWhitespace, i - pendingWhitespace));
    inRun = false;
    afterEquals = false;
    out += byte;
  }
  if (inRun) out.append(tag.substr(pendingWhitespace));
}

// Name and attributes of a start or self-closing tag (the part before its last ">").
bool parseTag(std::string_view rawTag, XmlNode& node, Text& scratch) {
  // Most gateway tags are a bare name: nothing to join or split.
  if (rawTag.find_first_of(" =") == std::string_view::npos) {
    if (!rawTag.empty() && rawTag.back() == '/') rawTag.remove_suffix(1);
    node.name.assign(rawTag);
    return true;
  }
  joinEquals(rawTag, scratch);
  std::string_view tag = scratch;
  if (!tag.empty() && tag.back() == '/') tag.remove_suffix(1);  // the split-off "/" is no attribute
  bool first = true;
  bool inQuotes = false;
  std::size_t tokenStart = 0;
  for (std::size_t i = 0; i <= tag.size(); ++i) {
    if (i < tag.size()) {
      if (tag[i] == '"') inQuotes = !inQuotes;
      if (tag[i] != ' ' || inQuotes) continue;
    }
    const std::string_view token = tag.substr(tokenStart, i - tokenStart);
    tokenStart = i + 1;
    if (first) {
      node.name.assign(token);
      first = false;
      continue;
    }
    bool blank = true;
    bool onlySlash = true;
    for (char byte : token) {
      if (isWhitespace(byte)) continue;
      blank = false;
      if (byte != '/') onlySlash = false;
    }
    if (blank || onlySlash) continue;
    const std::size_t equals = token.find('=');
    if (equals == std::string_view::npos) return false;
    Text value;
    value.reserve(token.size() - equals - 1);
    for (char byte : token.substr(equals + 1)) {
      if (byte != '"') value += byte;
    }
    node.attributes.emplace_back(Text(token.substr(0, equals)), std::move(value));
  }
  return true;
}

// When the text carries a section's stand-in, the whole text becomes that section.
void restoreCdata(Text& text, const XmlTree& tree) {
  // The marker does not occur in the source, so without sections no text can carry it.
  if (tree.cdataMarker.empty() || tree.cdataSections.empty()) return;
  const std::size_t at = text.find(tree.cdataMarker);
  if (at == Text::npos) return;
  const std::size_t comma = at + tree.cdataMarker.size();
  if (comma >= text.size() || text[comma] != ',') return;
  const std::size_t dot = text.find('.', comma + 1);
  if (dot == Text::npos) return;
  std::uint32_t number = 0;
  if (!parseNumber(std::string_view(text).substr(comma + 1, dot - comma - 1), number)) return;
  if (number >= 1 && number <= tree.cdataSections.size()) text = tree.cdataSections[number - 1];
}

}  // namespace

bool XmlDocument::newDocument(std::string_view rootName) {
  if (!isNodeName(rootName)) return false;
  m_tree = XmlTree{};
  XmlNode root;
  root.name.assign(rootName);
  root.ownNumber = 1;
  m_tree.nodes.push_back(std::move(root));
  m_tree.rootNumber = 1;
  return true;
}

bool XmlDocument::load(std::string_view bytes, bool forceUtf8, bool quoteAwareSplit) {
  // Clearing keeps the vectors' capacity: a worker loads one response after another.
  m_tree.nodes.clear();
  m_tree.cdataSections.clear();
  m_tree.cdataMarker.clear();
  m_tree.freeNumbers.clear();
  m_tree.rootNumber = 0;

  Bytes document(bytes);
  DeclaredUtf8ToGbk(document, forceUtf8);
  m_tree.cdataMarker = chooseCdataMarker(document);
  replaceCdataSections(document, m_tree.cdataMarker, m_tree.cdataSections);
  if (parse(document, quoteAwareSplit)) return true;
  m_tree = XmlTree{};
  return false;
}

bool XmlDocument::parse(std::string_view document, bool quoteAwareSplit) {
  std::vector<XmlNode> open;
  open.emplace_back().name.assign(kDocumentElement);
  Text scratch;
  Text endName;

  std::size_t pieceStart = 0;
  bool inQuotes = false;
  while (pieceStart <= document.size()) {
    std::size_t cut;
    if (quoteAwareSplit) {
      cut = pieceStart;
      while (cut < document.size() && (document[cut] != '<' || inQuotes)) {
        if (document[cut] == '"') inQuotes = !inQuotes;
        ++cut;
      }
    } else {
      const void* found = std::memchr(document.data() + pieceStart, '<', document.size() - pieceStart);
      cut = found ? static_cast<std::size_t>(static_cast<const char*>(found) - document.data()) : document.size();
    }
    const std::string_view piece = document.substr(pieceStart, cut - pieceStart);
    pieceStart = cut + 1;

    if (isOnlyWhitespace(piece) || piece.front() == '?' || piece.front() == '!') continue;
    const std::size_t gt = lastGreaterThan(piece);
    if (gt == std::string_view::npos) return false;
    const std::string_view tag = piece.substr(0, gt);
    const std::string_view trailing = piece.substr(gt + 1);

    if (piece.front() == '/') {
      if (!tag.empty() && tag.back() == '/') return false;
      // Everything but blanks, "/" and ">" counts, so text after an end tag spoils its name.
      endName.clear();
      for (char byte : piece) {
        if (!isWhitespace(byte) && byte != '/' && byte != '>') endName += byte;
      }
      // Only the document itself is open: nothing to close.
      if (open.size() < 2 || endName != open.back().name) return false;
      XmlNode node = std::move(open.back());
      open.pop_back();
      const auto number = static_cast<std::uint32_t>(m_tree.nodes.size() + 1);
      open.back().children.push_back(number);
      node.ownNumber = number;
      for (std::uint32_t child : node.children) m_tree.nodes[child - 1].parentNumber = number;
      if (isOnlyWhitespace(node.text)) node.text.clear();
      m_tree.nodes.push_back(std::move(node));
      continue;
    }

    XmlNode node;
    if (!parseTag(tag, node, scratch)) return false;
    if (!tag.empty() && tag.back() == '/') {
      const auto number = static_cast<std::uint32_t>(m_tree.nodes.size() + 1);
      open.back().children.push_back(number);
      node.ownNumber = number;
      m_tree.nodes.push_back(std::move(node));
      continue;
    }
    node.text.assign(trailing);
    restoreCdata(node.text, m_tree);
    open.push_back(std::move(node));
  }
  m_tree.rootNumber = static_cast<std::uint32_t>(m_tree.nodes.size());
  return true;
}

std::uint32_t XmlDocument::resolve(std::string_view path) const {
  if (!path.empty() && path.back() == '/') path.remove_suffix(1);
  if (path.empty()) return 0;
  const auto live = [this](std::uint32_t number) {
    return number >= 1 && number <= m_tree.nodes.size() && m_tree.nodes[number - 1].ownNumber != 0;
  };
  std::uint32_t current = 0;  // 0: at the document itself
  bool atDocument = true;
  std::size_t stepStart = 0;
  while (true) {
    const std::size_t slash = path.find('/', stepStart);
    const std::string_view step =
        path.substr(stepStart, slash == std::string_view::npos ? std::string_view::npos : slash - stepStart);
    if (step.empty()) return 0;
    std::uint32_t next = 0;
    std::uint32_t number = 0;
    if (step.size() >= 2 && step[0] == '@' && step[1] == '#') {
      if (!parseNumber(step.substr(2), number)) return 0;
      next = number == 0 ? m_tree.rootNumber : number;
    } else if (step[0] == '@') {
      if (!parseNumber(step.substr(1), number)) return 0;
      if (atDocument) {
        if (number == 1) next = m_tree.rootNumber;
      } else {
        const auto& children = m_tree.nodes[current - 1].children;
        if (number >= 1 && number <= children.size()) next = children[number - 1];
      }
    } else if (atDocument) {
      if (live(m_tree.rootNumber) && m_tree.nodes[m_tree.rootNumber - 1].name == step) next = m_tree.rootNumber;
    } else {
      for (std::uint32_t child : m_tree.nodes[current - 1].children) {
        if (child >= 1 && child <= m_tree.nodes.size() && m_tree.nodes[child - 1].name == step && live(child)) {
          next = child;
          break;
        }
      }
    }
    if (!live(next)) return 0;
    current = next;
    atDocument = false;
    if (slash == std::string_view::npos) return current;
    stepStart = slash + 1;
  }
}

const XmlNode* XmlDocument::nodeAt(std::string_view path) const {
  const std::uint32_t number = resolve(path);
  return number == 0 ? nullptr : &m_tree.nodes[number - 1];
}

XmlNode* XmlDocument::nodeAt(std::string_view path) {
  const std::uint32_t number = resolve(path);
  return number == 0 ? nullptr : &m_tree.nodes[number - 1];
}

bool XmlDocument::rootName(Text& name) const {
  bool found = false;
  Text root = rootElementName(&found);
  if (found) name = std::move(root);
  return found;
}

Text XmlDocument::rootElementName(bool* found) const {
  const XmlNode* root = nodeAt("@1");
  if (found) *found = root != nullptr;
  return root ? root->name : Text();
}

bool XmlDocument::childCount(std::string_view path, int& count) const {
  const XmlNode* node = nodeAt(path);
  if (!node) return false;
  count = static_cast<int>(node->children.size());
  return true;
}

bool XmlDocument::childNames(std::string_view path, std::vector<Text>& names) const {
  const XmlNode* node = nodeAt(path);
  if (!node) return false;
  names.clear();
  for (std::uint32_t child : node->children) {
    if (child >= 1 && child <= m_tree.nodes.size()) names.push_back(m_tree.nodes[child - 1].name);
  }
  return true;
}

Text XmlDocument::text(std::string_view path) const {
  const XmlNode* node = nodeAt(path);
  return node ? node->text : Text();
}

bool XmlDocument::attributeNames(std::string_view path, std::vector<Text>& names) const {
  const XmlNode* node = nodeAt(path);
  if (!node) return false;
  names.clear();
  for (const auto& attribute : node->attributes) names.push_back(attribute.first);
  return true;
}

bool XmlDocument::attribute(std::string_view path, std::string_view name, Text& value) const {
  const XmlNode* node = nodeAt(path);
  if (!node) return false;
  for (const auto& attribute : node->attributes) {
    if (attribute.first == name) {
      value = attribute.second;
      return true;
    }
  }
  return false;
}

int XmlDocument::countChildren(std::string_view path, bool* found) const {
  const XmlNode* node = nodeAt(path);
  if (found) *found = node != nullptr;
  return node ? static_cast<int>(node->children.size()) : 0;
}

int XmlDocument::countAttributes(std::string_view path, bool* found) const {
  const XmlNode* node = nodeAt(path);
  if (found) *found = node != nullptr;
  return node ? static_cast<int>(node->attributes.size()) : 0;
}

bool XmlDocument::addChild(std::string_view path, std::string_view name, std::string_view text) {
  const std::uint32_t parent = resolve(path);
  // A child that no path could reach, or that toText could not write back, is refused.
  if (parent == 0 || !isNodeName(name)) return false;
  std::uint32_t number;
  if (!m_tree.freeNumbers.empty()) {
    number = m_tree.freeNumbers.back();
    m_tree.freeNumbers.pop_back();
  } else {
    number = static_cast<std::uint32_t>(m_tree.nodes.size() + 1);
    m_tree.nodes.emplace_back();
  }
  XmlNode& node = m_tree.nodes[number - 1];
  node = XmlNode{};
  node.name.assign(name);
  node.text.assign(text);
  node.parentNumber = parent;
  node.ownNumber = number;
  m_tree.nodes[parent - 1].children.push_back(number);
  return true;
}

bool XmlDocument::addAttribute(std::string_view path, std::string_view name, std::string_view value) {
  XmlNode* node = nodeAt(path);
  if (!node || name.empty()) return false;
  node->attributes.emplace_back(Text(name), Text(value));
  return true;
}

bool XmlDocument::deleteNode(std::string_view path) {
  const std::uint32_t number = resolve(path);
  if (number == 0) return false;
  const std::uint32_t parent = m_tree.nodes[number - 1].parentNumber;
  if (parent >= 1 && parent <= m_tree.nodes.size()) {
    auto& siblings = m_tree.nodes[parent - 1].children;
    std::erase(siblings, number);
  }
  if (number == m_tree.rootNumber) m_tree.rootNumber = 0;
  // Iterative, so that a deep document cannot exhaust the stack.
  std::vector<std::uint32_t> pending{number};
  while (!pending.empty()) {
    const std::uint32_t current = pending.back();
    pending.pop_back();
    if (current < 1 || current > m_tree.nodes.size() || m_tree.nodes[current - 1].ownNumber == 0) continue;
    XmlNode& node = m_tree.nodes[current - 1];
    pending.insert(pending.end(), node.children.begin(), node.children.end());
    node = XmlNode{};
    m_tree.freeNumbers.push_back(current);
  }
  return true;
}

bool XmlDocument::deleteAttribute(std::string_view path, std::string_view name) {
  XmlNode* node = nodeAt(path);
  if (!node) return false;
  for (auto it = node->attributes.begin(); it != node->attributes.end(); ++it) {
    if (it->first == name) {
      node->attributes.erase(it);
      return true;
    }
  }
  return false;
}

bool XmlDocument::rename(std::string_view path, std::string_view newName) {
  XmlNode* node = nodeAt(path);
  if (!node || !isNodeName(newName)) return false;
  node->name.assign(newName);
  return true;
}

bool XmlDocument::setText(std::string_view path, std::string_view text) {
  XmlNode* node = nodeAt(path);
  if (!node) return false;
  node->text.assign(text);
  return true;
}

bool XmlDocument::renameAttribute(std::string_view path, std::string_view name, std::string_view newName) {
  XmlNode* node = nodeAt(path);
  if (!node || newName.empty()) return false;
  for (auto& attribute : node->attributes) {
    if (attribute.first == name) {
      attribute.first.assign(newName);
      return true;
    }
  }
  return false;
}

bool XmlDocument::setAttribute(std::string_view path, std::string_view name, std::string_view value) {
  XmlNode* node = nodeAt(path);
  if (!node) return false;
  for (auto& attribute : node->attributes) {
    if (attribute.first == name) {
      attribute.second.assign(value);
      return true;
    }
  }
  return false;
}

Text XmlDocument::toText() const {
  const std::uint32_t root = m_tree.rootNumber;
  if (root < 1 || root > m_tree.nodes.size() || m_tree.nodes[root - 1].ownNumber == 0) return {};
  Text out;
  if (!m_tree.nodes[root - 1].name.empty()) out += kDeclaration;
  writeNode(root, out);
  return out;
}

void XmlDocument::writeNode(std::uint32_t number, Text& out) const {
  // An explicit stack instead of recursion, and each node written once, so that a deep or
  // cyclic tree handed to setTree cannot overflow the stack or loop.
  std::vector<bool> written(m_tree.nodes.size() + 1, false);
  struct Frame {
    std::uint32_t number;
    std::size_t nextChild;
  };
  std::vector<Frame> stack;
  const auto open = [&](std::uint32_t n) {
    const XmlNode& node = m_tree.nodes[n - 1];
    written[n] = true;
    out += '<';
    out += node.name;
    for (const auto& [name, value] : node.attributes) {
      out += ' ';
      out += name;
      out += "=\"";
      out += value;
      out += '"';
    }
    out += '>';
    if (node.text.find('<') != Text::npos) {
      out += kCdataOpen;
      out += node.text;
      out += kCdataClose;
    } else {
      out += node.text;
    }
    stack.push_back({n, 0});
  };
  open(number);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    const XmlNode& node = m_tree.nodes[frame.number - 1];
    if (frame.nextChild < node.children.size()) {
      const std::uint32_t child = node.children[frame.nextChild++];
      if (child >= 1 && child <= m_tree.nodes.size() && !written[child] && m_tree.nodes[child - 1].ownNumber != 0)
        open(child);
      continue;
    }
    out += "</";
    out += node.name;
    out += '>';
    stack.pop_back();
  }
}

Bytes XmlDocument::toBytes() const { return toText(); }

bool XmlDocument::saveToFile(std::string_view path) const { return writeWholeFile(Text(path), toBytes()); }

XmlTree XmlDocument::getTree() const { return m_tree; }

void XmlDocument::setTree(const XmlTree& tree) { m_tree = tree; }

}  // namespace mirabex
