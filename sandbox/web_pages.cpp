#include "sandbox/web_pages.h"

#include "sandbox/sandbox_text.h"

namespace mirabex::sandbox {
namespace {

Reply gbkPage(int status, const char* utf8) {
  Reply reply;
  reply.status = status;
  reply.contentType = "text/html; charset=GBK";
  reply.body = toGbk(utf8);
  return reply;
}

}  // namespace

Reply newsPageReply() {
  return gbkPage(200,
                 "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
                 "<title>软件公告</title></head><body>\r\n"
                 "<h3>最新公告</h3>\r\n"
                 "<ul><li>2013-04-25 新版本支持淘宝助理5.X数据</li>\r\n"
                 "<li>2013-04-01 修复店铺街模板识别</li></ul>\r\n"
                 "</body></html>\r\n");
}

Reply helpPageReply() {
  return gbkPage(200,
                 "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
                 "<title>使用帮助</title></head><body>\r\n"
                 "<h3>使用帮助</h3>\r\n"
                 "<p>1. 选择单品、列表或店铺模式，输入地址后点击“添加到列表”。</p>\r\n"
                 "<p>2. 点击“开始采集”，完成后用淘宝助理导入生成的CSV文件。</p>\r\n"
                 "</body></html>\r\n");
}

Reply notFoundReply() {
  return gbkPage(404, "<html><head><title>404 页面不存在</title></head><body>页面不存在</body></html>");
}

}  // namespace mirabex::sandbox
