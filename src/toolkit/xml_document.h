#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "toolkit/gbk_text.h"

namespace mirabex {

// One element. Names, texts and values are GBK.
struct XmlNode {
  Text name;
  // Character data between the start tag and the next "<"; empty when it was only whitespace.
  Text text;
  std::vector<std::pair<Text, Text>> attributes;  // (name, value) in start-tag order
  std::vector<std::uint32_t> children;            // node numbers, document order
  std::uint32_t parentNumber = 0;                 // 0 for a top-level element
  std::uint32_t ownNumber = 0;                    // 0 marks a deleted slot
};

// The node store. Node N lives at nodes[N - 1]; numbers are given in order of completion,
// so a child always has a smaller number than its parent.
struct XmlTree {
  std::vector<XmlNode> nodes;
  std::vector<Bytes> cdataSections;        // numbered from 1 in document order
  Bytes cdataMarker;                       // stood in for the sections during the parse
  std::uint32_t rootNumber = 0;            // 0 when the document is empty
  std::vector<std::uint32_t> freeNumbers;  // slots of deleted nodes, reused by insertions
};

// A tolerant single-pass reader of gateway responses, queried by slash-separated paths:
// a step is a child name, "@N" (N-th child, from 1) or "@#N" (node N; "@#0" is the root).
// The first step must name the root, or be "@1" or "@#N". Entities are left as written.
// One document per thread; copies are deep.
class XmlDocument {
 public:
  XmlDocument() = default;

  // Clears the document and creates a root named `rootName`; false for an empty name or one
  // starting with whitespace, "@" or "<".
  bool newDocument(std::string_view rootName);
  // Parses `bytes` (converted to GBK first when declared UTF-8, or always with forceUtf8 unless
  // declared gb2312). With quoteAwareSplit a "<" inside double quotes does not open a tag.
  // On false the document is empty.
  bool load(std::string_view bytes, bool forceUtf8 = false, bool quoteAwareSplit = false);
  // `path` is GBK; writes toBytes(). True when the file was written.
  bool saveToFile(std::string_view path) const;
  Text toText() const;
  Bytes toBytes() const;

  bool rootName(Text& name) const;
  bool childCount(std::string_view path, int& count) const;
  bool childNames(std::string_view path, std::vector<Text>& names) const;
  // The node's text; empty when the path does not resolve.
  Text text(std::string_view path) const;
  bool attributeNames(std::string_view path, std::vector<Text>& names) const;
  // True when the node has an attribute of exactly that name; `value` is untouched otherwise.
  bool attribute(std::string_view path, std::string_view name, Text& value) const;
  Text rootElementName(bool* found = nullptr) const;
  // 0 (and *found false) when the path does not resolve.
  int countChildren(std::string_view path, bool* found = nullptr) const;
  int countAttributes(std::string_view path, bool* found = nullptr) const;

  // Editing; each returns true when the path resolves and the edit applied. New and renamed
  // elements follow the newDocument name rule; the attribute edits act on the first attribute
  // of that name and return false when there is none. Deleted numbers are reused by addChild.
  bool addChild(std::string_view path, std::string_view name, std::string_view text);
  bool addAttribute(std::string_view path, std::string_view name, std::string_view value);
  bool deleteNode(std::string_view path);
  bool deleteAttribute(std::string_view path, std::string_view name);
  bool rename(std::string_view path, std::string_view newName);
  bool setText(std::string_view path, std::string_view text);
  bool renameAttribute(std::string_view path, std::string_view name, std::string_view newName);
  bool setAttribute(std::string_view path, std::string_view name, std::string_view value);

  XmlTree getTree() const;
  void setTree(const XmlTree& tree);

 private:
  // Node number the path leads to, or 0.
  std::uint32_t resolve(std::string_view path) const;
  const XmlNode* nodeAt(std::string_view path) const;
  XmlNode* nodeAt(std::string_view path);
  bool parse(std::string_view document, bool quoteAwareSplit);
  void writeNode(std::uint32_t number, Text& out) const;

  XmlTree m_tree;
};

}  // namespace mirabex
