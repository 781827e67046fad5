// The packet is small and fixed in form, so it is written as text (Exempi would add a
// library for four properties).
#include "metadata/XmpPacket.h"

#include "metadata/TextEncoding.h"

namespace ekv {

namespace {

std::string XmlEscaped(const std::string &inText) {
    std::string aText;
    for (char aChar : inText) {
        switch (aChar) {
            case '&': aText += "&amp;"; break;
            case '<': aText += "&lt;"; break;
            case '>': aText += "&gt;"; break;
            case '"': aText += "&quot;"; break;
            default: aText += aChar; break;
        }
    }
    return aText;
}

}  // namespace

std::string BuildXmpPacket(const CameraTags &inTags) {
    if (IsAscii(inTags.make) && IsAscii(inTags.model) && IsAscii(inTags.artist) && IsAscii(inTags.copyright)) return {};
    std::string aBody;
    if (!inTags.make.empty()) aBody += "   <tiff:Make>" + XmlEscaped(inTags.make) + "</tiff:Make>\n";
    if (!inTags.model.empty()) aBody += "   <tiff:Model>" + XmlEscaped(inTags.model) + "</tiff:Model>\n";
    if (!inTags.artist.empty())
        aBody += "   <dc:creator><rdf:Seq><rdf:li>" + XmlEscaped(inTags.artist) + "</rdf:li></rdf:Seq></dc:creator>\n";
    if (!inTags.copyright.empty())
        aBody += "   <dc:rights><rdf:Alt><rdf:li xml:lang=\"x-default\">" + XmlEscaped(inTags.copyright) +
                 "</rdf:li></rdf:Alt></dc:rights>\n";
    return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
           " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
           "  <rdf:Description rdf:about=\"\" xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\"\n"
           "    xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n" +
           aBody +
           "  </rdf:Description>\n"
           " </rdf:RDF>\n"
           "</x:xmpmeta>\n"
           "<?xpacket end=\"w\"?>";
}

}  // namespace ekv
