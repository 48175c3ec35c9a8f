package startapp;

import java.io.StringReader;
import java.io.StringWriter;
import java.math.BigDecimal;
import java.time.LocalDate;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import javax.xml.parsers.DocumentBuilder;
import javax.xml.parsers.DocumentBuilderFactory;
import javax.xml.transform.OutputKeys;
import javax.xml.transform.Transformer;
import javax.xml.transform.TransformerFactory;
import javax.xml.transform.dom.DOMSource;
import javax.xml.transform.stream.StreamResult;
import javax.xml.xpath.XPath;
import javax.xml.xpath.XPathConstants;
import javax.xml.xpath.XPathFactory;
import org.w3c.dom.Document;
import org.w3c.dom.Element;
import org.w3c.dom.NodeList;
import org.xml.sax.InputSource;

/** Reads the catalogue from XML and writes a summary back as XML. */
final class CatalogDocument {
  // Kept in the code rather than in a resource so that the sources alone,
  // compiled with one javac call, make a complete application.
  static final String CATALOG = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      + "<catalog warehouse=\"North\" currency=\"EUR\">\n"
      + "  <item sku=\"HW-1001\" category=\"hardware\"><name>Hex bolt M8</name>"
      + "<qty>1200</qty><price>0.18</price><received>2024-02-03</received></item>\n"
      + "  <item sku=\"HW-1002\" category=\"hardware\"><name>Washer 8 mm</name>"
      + "<qty>3400</qty><price>0.04</price><received>2024-02-03</received></item>\n"
      + "  <item sku=\"HW-1017\" category=\"hardware\"><name>Hinge, brass</name>"
      + "<qty>75</qty><price>3.95</price><received>2024-03-11</received></item>\n"
      + "  <item sku=\"TL-2040\" category=\"tools\"><name>Claw hammer</name>"
      + "<qty>18</qty><price>14.50</price><received>2024-01-22</received></item>\n"
      + "  <item sku=\"TL-2041\" category=\"tools\"><name>Spirit level 60 cm</name>"
      + "<qty>9</qty><price>21.00</price><received>2024-04-30</received></item>\n"
      + "  <item sku=\"TL-2077\" category=\"tools\"><name>Screwdriver set</name>"
      + "<qty>24</qty><price>17.25</price><received>2024-03-02</received></item>\n"
      + "  <item sku=\"PT-3300\" category=\"paint\"><name>Primer, white 1 l</name>"
      + "<qty>40</qty><price>8.90</price><received>2024-05-14</received></item>\n"
      + "  <item sku=\"PT-3301\" category=\"paint\"><name>Gloss, red 0.75 l</name>"
      + "<qty>32</qty><price>11.40</price><received>2024-05-14</received></item>\n"
      + "  <item sku=\"PT-3390\" category=\"paint\"><name>Brush 50 mm</name>"
      + "<qty>60</qty><price>2.75</price><received>2024-02-19</received></item>\n"
      + "  <item sku=\"EL-4410\" category=\"electrical\"><name>Cable 3x1.5, 50 m</name>"
      + "<qty>12</qty><price>46.00</price><received>2024-06-01</received></item>\n"
      + "  <item sku=\"EL-4415\" category=\"electrical\"><name>Socket, double</name>"
      + "<qty>85</qty><price>6.30</price><received>2024-04-08</received></item>\n"
      + "  <item sku=\"EL-4499\" category=\"electrical\"><name>LED bulb E27 &amp; dimmer</name>"
      + "<qty>150</qty><price>4.10</price><received>2024-06-20</received></item>\n"
      + "  <item sku=\"bad sku\" category=\"paint\"><name>Returned can</name>"
      + "<qty>1</qty><price>0.00</price><received>2024-06-21</received></item>\n"
      + "</catalog>\n";

  private CatalogDocument() {}

  static Document parse(String xml) throws Exception {
    DocumentBuilderFactory factory = DocumentBuilderFactory.newInstance();
    factory.setNamespaceAware(true);
    factory.setFeature("http://apache.org/xml/features/disallow-doctype-decl", true);
    DocumentBuilder builder = factory.newDocumentBuilder();
    return builder.parse(new InputSource(new StringReader(xml)));
  }

  static List<Item> items(Document document) throws Exception {
    XPath xpath = XPathFactory.newInstance().newXPath();
    NodeList nodes = (NodeList) xpath.evaluate("/catalog/item", document, XPathConstants.NODESET);
    List<Item> items = new ArrayList<>();
    for (int i = 0; i < nodes.getLength(); i++) {
      Element element = (Element) nodes.item(i);
      items.add(new Item(element.getAttribute("sku"), text(element, "name"),
          element.getAttribute("category"), Integer.parseInt(text(element, "qty")),
          new BigDecimal(text(element, "price")), LocalDate.parse(text(element, "received"))));
    }
    return items;
  }

  static String attribute(Document document, String expression) throws Exception {
    return XPathFactory.newInstance().newXPath().evaluate(expression, document);
  }

  /** The summary as an indented XML document, one element per category. */
  static String summary(Map<String, BigDecimal> valueByCategory) throws Exception {
    Document out = DocumentBuilderFactory.newInstance().newDocumentBuilder().newDocument();
    Element root = out.createElement("summary");
    out.appendChild(root);
    for (Map.Entry<String, BigDecimal> entry : valueByCategory.entrySet()) {
      Element category = out.createElement("category");
      category.setAttribute("name", entry.getKey());
      category.setTextContent(entry.getValue().toPlainString());
      root.appendChild(category);
    }
    Transformer transformer = TransformerFactory.newInstance().newTransformer();
    transformer.setOutputProperty(OutputKeys.INDENT, "yes");
    transformer.setOutputProperty(OutputKeys.OMIT_XML_DECLARATION, "yes");
    StringWriter writer = new StringWriter();
    transformer.transform(new DOMSource(out), new StreamResult(writer));
    return writer.toString();
  }

  private static String text(Element parent, String tag) {
    return parent.getElementsByTagName(tag).item(0).getTextContent().trim();
  }
}
