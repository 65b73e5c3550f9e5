// The forgiving parser of the player's XML document classes (ActionScript 1/2 XML and
// ActionScript 3 XMLDocument): it reads elements, attributes, text, CDATA, comments and
// declarations and reports them to a sink, stopping with the player's status code at
// the first fault.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantrel::flash::script {

// Parse results as the player reports them in `status`.
enum XmlStatus {
  kXmlOk = 0,
  kXmlCdataOpen = -2,
  kXmlDeclarationOpen = -3,
  kXmlDoctypeOpen = -4,
  kXmlCommentOpen = -5,
  kXmlMalformedElement = -6,
  kXmlAttributeOpen = -8,
  kXmlStartWithoutEnd = -9,
  kXmlEndWithoutStart = -10,
};

class XmlSink {
 public:
  virtual ~XmlSink() = default;
  // Text between markup (entities replaced; never empty), or the content of a CDATA
  // section (as it stands, perhaps empty).
  virtual void Text(std::string text, bool cdata) = 0;
  // An element opens; attributes in document order, the first of repeated names only.
  // empty: it closed itself (<a/>).
  virtual void Open(std::string_view name, const std::vector<std::pair<std::string_view, std::string>>& attributes,
                    bool empty) = 0;
  // The innermost open element closes; false when name is not its name.
  virtual bool Close(std::string_view name) = 0;
  // Whether an element is open (an end tag with none open is a fault).
  virtual bool InElement() const = 0;
};

struct XmlScan {
  int status = kXmlOk;
  std::string xmlDecl, docTypeDecl;
};
XmlScan ScanXml(std::string_view text, XmlSink& sink);

// Replaces the five named entities and numeric references; anything else that starts
// with '&' stays as it stands.
std::string XmlUnescape(std::string_view text);
// Text and attribute values as the document classes write them.
void AppendXmlEscaped(std::string& out, std::string_view text);
bool XmlAllSpace(std::string_view text);

}  // namespace vantrel::flash::script
