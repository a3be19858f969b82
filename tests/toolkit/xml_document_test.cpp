#include "toolkit/xml_document.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <algorithm>

#include "toolkit/gbk_codec.h"

namespace mirabex {
namespace {

constexpr const char* kBaobeiGbk = "\xB1\xA6\xB1\xB4";           // 宝贝
constexpr const char* kBaobeiUtf8 = "\xE5\xAE\x9D\xE8\xB4\x9D";  // 宝贝
constexpr const char* kDocumentWordGbk = "\xCE\xC4\xBC\xFE";     // 文件

// A gateway answer in miniature: two skus, two pictures, an escaped description.
const std::string kItemResponse =
    "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n"
    "<item_get_response>\n"
    "  <item>\n"
    "    <title>" +
    std::string(kBaobeiGbk) +
    " A</title>\n"
    "    <desc>&lt;p&gt;hello&amp;bye&lt;/p&gt;</desc>\n"
    "    <skus>\n"
    "      <sku><price>10.00</price><properties>1:2</properties></sku>\n"
    "      <sku><price>12.50</price><properties>1:3</properties></sku>\n"
    "    </skus>\n"
    "    <item_imgs><item_img><url>http://p/1.jpg</url></item_img>"
    "<item_img><url>http://p/2.jpg</url></item_img></item_imgs>\n"
    "  </item>\n"
    "</item_get_response>\n";

const std::string kErrorResponse =
    "<?xml version=\"1.0\" encoding=\"utf-8\" ?><error_response><code>27</code>"
    "<msg>Invalid session</msg></error_response>";

XmlDocument loaded(const std::string& bytes, bool forceUtf8 = false, bool quoteAwareSplit = false) {
  XmlDocument document;
  EXPECT_TRUE(document.load(bytes, forceUtf8, quoteAwareSplit)) << bytes;
  return document;
}

struct PathCase {
  const std::string* document;
  std::string path;
  std::string text;
};

class XmlPath : public testing::TestWithParam<PathCase> {};

TEST_P(XmlPath, ResolvesToTheExpectedText) {
  const XmlDocument document = loaded(*GetParam().document);
  EXPECT_EQ(document.text(GetParam().path), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlPath,
    testing::Values(PathCase{&kItemResponse, "item_get_response/item/title", std::string(kBaobeiGbk) + " A"},
                    PathCase{&kItemResponse, "item_get_response/item/desc", "&lt;p&gt;hello&amp;bye&lt;/p&gt;"},
                    PathCase{&kItemResponse, "item_get_response/item/skus/@2/price", "12.50"},
                    PathCase{&kItemResponse, "item_get_response/item/skus/@3/price", ""},
                    PathCase{&kItemResponse, "item_get_response/item/skus/@0/price", ""},
                    PathCase{&kItemResponse, "item_get_response/item/item_imgs/@2/url", "http://p/2.jpg"},
                    PathCase{&kItemResponse, "@1/item/title", std::string(kBaobeiGbk) + " A"},
                    PathCase{&kItemResponse, "@#0/item/skus/@1/properties", "1:2"},
                    // Numbers follow completion order: the title is the first element closed.
                    PathCase{&kItemResponse, "@#1", std::string(kBaobeiGbk) + " A"},
                    PathCase{&kItemResponse, "item_get_response/@#3", "10.00"},
                    PathCase{&kItemResponse, "@#99", ""},
                    PathCase{&kItemResponse, "item_get_response/item/title/", std::string(kBaobeiGbk) + " A"},
                    PathCase{&kItemResponse, "/item_get_response/item/title", ""},
                    PathCase{&kItemResponse, "item_get_response//item/title", ""},
                    PathCase{&kItemResponse, "item_get_response/item/title//", ""},
                    PathCase{&kItemResponse, "item/title", ""}, PathCase{&kItemResponse, "@2/item/title", ""},
                    PathCase{&kItemResponse, "Item_get_response/item/title", ""},
                    PathCase{&kItemResponse, "item_get_response/item/skus/@x", ""},
                    PathCase{&kItemResponse, "", ""}, PathCase{&kErrorResponse, "@1/msg", "Invalid session"},
                    PathCase{&kErrorResponse, "error_response/code", "27"},
                    PathCase{&kErrorResponse, "item_get_response/item/title", ""}));

TEST(XmlDocument, CountsAndNamesByPath) {
  const XmlDocument document = loaded(kItemResponse);
  bool found = false;
  EXPECT_EQ(document.countChildren("item_get_response/item/skus", &found), 2);
  EXPECT_TRUE(found);
  EXPECT_EQ(document.countChildren("item_get_response/item/nothing", &found), 0);
  EXPECT_FALSE(found);
  EXPECT_EQ(document.countChildren("item_get_response/item/title"), 0);

  std::vector<Text> names;
  ASSERT_TRUE(document.childNames("item_get_response/item", names));
  EXPECT_EQ(names, (std::vector<Text>{"title", "desc", "skus", "item_imgs"}));
  int count = -1;
  EXPECT_FALSE(document.childCount("nothing", count));
  EXPECT_EQ(count, -1);
  ASSERT_TRUE(document.childCount("@1", count));
  EXPECT_EQ(count, 1);

  Text root;
  ASSERT_TRUE(document.rootName(root));
  EXPECT_EQ(root, "item_get_response");
  EXPECT_EQ(document.rootElementName(&found), "item_get_response");
  EXPECT_TRUE(found);
}

TEST(XmlDocument, AttributesKeepOrderAndLoseTheirQuotes) {
  const XmlDocument document =
      loaded("<apps><app key=\"k1\" secret = \"a b  c\" note=\"x\"/><app key=\"k2\" /></apps>");
  std::vector<Text> names;
  ASSERT_TRUE(document.attributeNames("@1/@1", names));
  EXPECT_EQ(names, (std::vector<Text>{"key", "secret", "note"}));
  Text value = "untouched";
  EXPECT_TRUE(document.attribute("@1/@1", "secret", value));
  EXPECT_EQ(value, "a b  c");
  EXPECT_TRUE(document.attribute("apps/@2", "key", value));
  EXPECT_EQ(value, "k2");
  value = "untouched";
  EXPECT_FALSE(document.attribute("@1/@1", "Key", value));
  EXPECT_FALSE(document.attribute("@1/@3", "key", value));
  EXPECT_EQ(value, "untouched");
  EXPECT_EQ(document.countAttributes("@1/@1"), 3);
  EXPECT_EQ(document.countAttributes("@1/@2"), 1);
  bool found = true;
  EXPECT_EQ(document.countAttributes("@1/@9", &found), 0);
  EXPECT_FALSE(found);
}

struct EncodingCase {
  std::string name;
  std::string declaration;
  std::string title;  // bytes as sent
  bool forceUtf8;
  std::string expected;
};

class XmlEncoding : public testing::TestWithParam<EncodingCase> {};

TEST_P(XmlEncoding, ReturnsGbkOnlyWhenTheDocumentIsTakenForUtf8) {
  const EncodingCase& c = GetParam();
  const XmlDocument document = loaded(c.declaration + "<r><t>" + c.title + "</t></r>", c.forceUtf8);
  EXPECT_EQ(document.text("r/t"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlEncoding,
    testing::Values(EncodingCase{"Utf8Declared", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>", kBaobeiUtf8, false,
                                 kBaobeiGbk},
                    EncodingCase{"Gb2312Declared", "<?xml version=\"1.0\" encoding=\"gb2312\"?>", kBaobeiGbk,
                                 false, kBaobeiGbk},
                    EncodingCase{"Gb2312DeclaredForced", "<?xml version=\"1.0\" encoding=\"gb2312\"?>", kBaobeiGbk,
                                 true, kBaobeiGbk},
                    EncodingCase{"NoDeclaration", "", kBaobeiUtf8, false, kBaobeiUtf8},
                    EncodingCase{"NoDeclarationForced", "", kBaobeiUtf8, true, kBaobeiGbk}),
    [](const testing::TestParamInfo<EncodingCase>& info) { return info.param.name; });

struct LoadCase {
  std::string name;
  std::string document;
  bool quoteAwareSplit;
  bool loads;
  std::string path;  // checked only when the document loads
  std::string text;
};

class XmlLoad : public testing::TestWithParam<LoadCase> {};

TEST_P(XmlLoad, LoadsOrFailsAsATolerantReader) {
  const LoadCase& c = GetParam();
  XmlDocument document;
  ASSERT_TRUE(document.load("<old><x>1</x></old>"));
  EXPECT_EQ(document.load(c.document, false, c.quoteAwareSplit), c.loads);
  if (c.loads) {
    EXPECT_EQ(document.text(c.path), c.text);
  } else {
    // A failed load leaves nothing behind, not even the previous document.
    EXPECT_EQ(document.text("old/x"), "");
    EXPECT_EQ(document.countChildren("@1"), 0);
    EXPECT_TRUE(document.toText().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlLoad,
    testing::Values(
        LoadCase{"CdataIsKeptByteForByte", "<r><d><![CDATA[<p>a & b</p>]]></d></r>", false, true, "r/d",
                 "<p>a & b</p>"},
        LoadCase{"TextAroundCdataIsLost", "<r><d>before<![CDATA[x>y]]>after</d></r>", false, true, "r/d", "x>y"},
        LoadCase{"SecondCdataSection", "<r><a><![CDATA[1]]></a><b><![CDATA[<2>]]></b></r>", false, true, "r/b",
                 "<2>"},
        LoadCase{"WhitespaceTextBecomesEmpty", "<r>\r\n\t <a>1</a>\n</r>", false, true, "r", ""},
        LoadCase{"TextIsNotTrimmed", "<r><a> 1 </a></r>", false, true, "r/a", " 1 "},
        LoadCase{"SecondTopLevelElementIsTheRoot", "<a><x>1</x></a><b><y>2</y></b>", false, true, "b/y", "2"},
        LoadCase{"FirstTopLevelElementIsUnreachable", "<a><x>1</x></a><b><y>2</y></b>", false, true, "a/x", ""},
        LoadCase{"UnclosedRootLeavesItsLastChild", "<r><a>1</a><b>2</b>", false, true, "@1", "2"},
        LoadCase{"UnclosedRootIsNotStored", "<r><a>1</a><b>2</b>", false, true, "r/a", ""},
        LoadCase{"CommentAndDoctypeAreSkipped", "<!DOCTYPE r><r><!-- note --><a>1</a></r>", false, true, "r/a",
                 "1"},
        LoadCase{"EmptyDocument", "", false, true, "@1", ""},
        LoadCase{"QuotedLessThanWithQuoteAwareSplit", "<r><a t=\"1<2\">x</a></r>", true, true, "r/a", "x"},
        LoadCase{"LessThanInCommentCutsIt", "<r><!-- a < b --><a>1</a></r>", false, false, "", ""},
        LoadCase{"QuotedLessThanCutsTheTag", "<r><a t=\"1<2\">x</a></r>", false, false, "", ""},
        LoadCase{"TextAfterEndTag", "<r><a>1</a>junk<b>2</b></r>", false, false, "", ""},
        LoadCase{"MismatchedEndTag", "<r><a>1</b></r>", false, false, "", ""},
        LoadCase{"PieceWithoutGreaterThan", "<r><a</r>", false, false, "", ""},
        LoadCase{"AttributeWithoutEquals", "<r><a checked>1</a></r>", false, false, "", ""},
        LoadCase{"EndTagEndingInSlash", "<r><a>1</a/></r>", false, false, "", ""},
        LoadCase{"EndTagWithNothingOpen", "</r>", false, false, "", ""},
        // The document's own stand-in element must never be closed by a tag of the same name.
        LoadCase{"EndTagNamedLikeTheDocument", std::string("<r/></") + kDocumentWordGbk + ">", false, false, "",
                 ""}),
    [](const testing::TestParamInfo<LoadCase>& info) { return info.param.name; });

TEST(XmlDocument, QuoteAwareSplitKeepsTheLessThanInTheValue) {
  const XmlDocument document = loaded("<r><a t=\"1<2\" u=\"3\">x</a></r>", false, true);
  Text value;
  ASSERT_TRUE(document.attribute("r/a", "t", value));
  EXPECT_EQ(value, "1<2");
}

TEST(XmlDocument, CdataSectionsAreHeldUnderAFreshMarker) {
  const std::string source = "<r><a><![CDATA[one]]></a><b><![CDATA[two]]></b><c>@ABCDE,1.</c></r>";
  const XmlTree tree = loaded(source).getTree();
  EXPECT_EQ(tree.cdataSections, (std::vector<Bytes>{"one", "two"}));
  ASSERT_EQ(tree.cdataMarker.size(), 6u);
  EXPECT_EQ(tree.cdataMarker[0], '@');
  EXPECT_TRUE(std::all_of(tree.cdataMarker.begin() + 1, tree.cdataMarker.end(), [](char letter) {
    return letter >= 'A' && letter <= 'Z';
  })) << tree.cdataMarker;
  EXPECT_EQ(source.find(tree.cdataMarker), std::string::npos);
  EXPECT_EQ(loaded(source).text("r/c"), "@ABCDE,1.");
}

TEST(XmlDocument, NewDocumentRefusesNamesThatCannotBeAddressed) {
  XmlDocument document;
  for (const char* name : {"", " r", "\tr", "@r", "<r"}) {
    EXPECT_FALSE(document.newDocument(name)) << name;
  }
  EXPECT_TRUE(document.newDocument(kBaobeiGbk));
  EXPECT_EQ(document.rootElementName(), kBaobeiGbk);
}

TEST(XmlDocument, EditsRoundTripThroughText) {
  XmlDocument document;
  ASSERT_TRUE(document.newDocument("root"));
  ASSERT_TRUE(document.addChild("root", "item", ""));
  ASSERT_TRUE(document.addAttribute("root/item", "id", "7"));
  ASSERT_TRUE(document.addAttribute("root/item", "tmp", "x"));
  ASSERT_TRUE(document.addChild("root/item", "title", std::string(kBaobeiGbk) + " <b>"));
  ASSERT_TRUE(document.addChild("root/item", "gone", "g"));
  ASSERT_TRUE(document.addChild("root/item/gone", "deeper", "d"));
  ASSERT_TRUE(document.addChild("root", "price", "1.00"));
  EXPECT_FALSE(document.addChild("root/none", "x", ""));
  EXPECT_FALSE(document.addChild("root", "@x", ""));

  ASSERT_TRUE(document.deleteNode("root/item/gone"));
  EXPECT_EQ(document.getTree().freeNumbers.size(), 2u);
  EXPECT_EQ(document.text("root/item/gone/deeper"), "");
  ASSERT_TRUE(document.addChild("root/item", "num", "3"));  // takes a freed number
  EXPECT_EQ(document.getTree().freeNumbers.size(), 1u);

  ASSERT_TRUE(document.rename("root/price", "cost"));
  ASSERT_TRUE(document.setText("root/cost", "2.00"));
  ASSERT_TRUE(document.renameAttribute("root/item", "id", "num_iid"));
  ASSERT_TRUE(document.setAttribute("root/item", "num_iid", "8"));
  ASSERT_TRUE(document.deleteAttribute("root/item", "tmp"));
  EXPECT_FALSE(document.deleteAttribute("root/item", "tmp"));
  EXPECT_FALSE(document.setAttribute("root/item", "missing", "v"));
  EXPECT_FALSE(document.renameAttribute("root/item", "missing", "v"));

  const Text expected = "<?xml version=\"1.0\" encoding=\"gb2312\"?><root><item num_iid=\"8\"><title><![CDATA[" +
                        std::string(kBaobeiGbk) + " <b>]]></title><num>3</num></item><cost>2.00</cost></root>";
  EXPECT_EQ(document.toText(), expected);
  EXPECT_EQ(document.toBytes(), expected);

  const XmlDocument reread = loaded(document.toText());
  EXPECT_EQ(reread.text("root/item/title"), std::string(kBaobeiGbk) + " <b>");
  EXPECT_EQ(reread.toText(), expected);

  // Copies are deep.
  XmlDocument copy = document;
  ASSERT_TRUE(copy.setText("root/cost", "9"));
  EXPECT_EQ(document.text("root/cost"), "2.00");

  ASSERT_TRUE(document.deleteNode("@1"));
  EXPECT_EQ(document.countChildren("@1"), 0);
  EXPECT_TRUE(document.toText().empty());
}

TEST(XmlDocument, SetTreeWithACycleStillWritesOut) {
  XmlTree tree;
  tree.nodes.resize(2);
  tree.nodes[0] = XmlNode{"a", "", {}, {2}, 2, 1};
  tree.nodes[1] = XmlNode{"b", "", {}, {1}, 0, 2};
  tree.rootNumber = 2;
  XmlDocument document;
  document.setTree(tree);
  EXPECT_EQ(document.toText(), "<?xml version=\"1.0\" encoding=\"gb2312\"?><b><a></a></b>");
  EXPECT_EQ(document.getTree().nodes.size(), 2u);
}

TEST(XmlDocument, SavesToAGbkPath) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "mirabex_xml_document_test";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  XmlDocument document;
  ASSERT_TRUE(document.newDocument("r"));
  ASSERT_TRUE(document.addChild("r", "t", kBaobeiGbk));

  const Text path = utf8ToGbk(folder.string()) + "/" + kBaobeiGbk + ".xml";
  ASSERT_TRUE(document.saveToFile(path));
  std::ifstream in(folder / (std::string(kBaobeiUtf8) + ".xml"), std::ios::binary);
  const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, document.toBytes());

  EXPECT_FALSE(document.saveToFile(utf8ToGbk((folder / "missing" / "x.xml").string())));
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace mirabex
