#include "sandbox/key_pool.h"

#include "sandbox/sandbox_text.h"

namespace mirabex::sandbox {

std::string keyPoolDocument(const Catalogue& catalogue) {
  std::string doc = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<apps>\r\n";
  for (const KeyPair& pair : catalogue.keyPairs()) {
    doc +=
        "  <app appkey=\"" + xmlEscape(pair.appKey) + "\" appsecret=\"" + xmlEscape(pair.appSecret) + "\" />\r\n";
  }
  doc += "</apps>\r\n";
  return doc;
}

Reply keyPoolReply(const Catalogue& catalogue) {
  Reply reply;
  reply.contentType = "text/xml";
  reply.body = keyPoolDocument(catalogue);
  return reply;
}

}  // namespace mirabex::sandbox
