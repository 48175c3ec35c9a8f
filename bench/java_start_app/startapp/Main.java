package startapp;

import java.nio.charset.StandardCharsets;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.zip.CRC32;
import org.w3c.dom.Document;

/**
 * A small stock report: reads an XML catalogue, works out figures with
 * streams and regular expressions, formats them for people and writes a
 * summary document. The output is the same on every run.
 *
 * Usage: startapp.Main [title] [--exit=N] (title default "stock"). With
 * --exit=N it also writes "startapp: exit N" to standard error after the
 * report and ends with exit code N, so that a caller can see both streams
 * and the code come through. Exits 1 when the catalogue cannot be read,
 * 2 on an argument it does not know.
 */
public final class Main {
  private Main() {}

  public static void main(String[] args) {
    String title = "stock";
    Integer exitCode = null;
    for (String arg : args) {
      if (arg.matches("--exit=-?\\d{1,9}")) {
        exitCode = Integer.valueOf(arg.substring("--exit=".length()));
      } else if (arg.startsWith("--")) {
        System.err.println("startapp: unknown option " + arg);
        System.exit(2);
      } else {
        title = arg;
      }
    }
    try {
      // UTF-8 whatever the console's locale, so that the bytes are the same
      // on every machine and runtime (the amounts hold a euro sign and a
      // no-break space).
      byte[] text = report(title).getBytes(StandardCharsets.UTF_8);
      System.out.write(text, 0, text.length);
      System.out.flush();
    } catch (Exception e) {
      System.err.println("startapp: " + e);
      System.exit(1);
    }
    if (exitCode != null) {
      System.err.println("startapp: exit " + exitCode);
      System.exit(exitCode);
    }
  }

  static String report(String title) throws Exception {
    Document document = CatalogDocument.parse(CatalogDocument.CATALOG);
    List<Item> read = CatalogDocument.items(document);
    Inventory inventory = new Inventory(read);
    Map<String, java.math.BigDecimal> byCategory = inventory.valueByCategory();
    String summary = CatalogDocument.summary(byCategory);

    StringBuilder out = new StringBuilder();
    String nl = "\n";
    out.append(ReportFormatter.header(title, inventory.size())).append(nl);
    out.append("warehouse ").append(CatalogDocument.attribute(document, "/catalog/@warehouse"))
        .append(", ").append(read.size() - inventory.size()).append(" line(s) refused").append(nl);
    out.append("total ").append(ReportFormatter.money(inventory.totalValue(), Locale.GERMANY))
        .append(" / ").append(ReportFormatter.money(inventory.totalValue(), Locale.US)).append(nl);
    out.append(ReportFormatter.quantities(inventory.quantities())).append(nl);
    out.append("prefixes ").append(inventory.prefixCounts()).append(nl);
    out.append("measures ").append(String.join(", ", inventory.measures())).append(nl);
    out.append(ReportFormatter.age(inventory.latestDelivery())).append(nl);
    if (inventory.mostValuable().isPresent()) {
      out.append("top ").append(Describer.describe(inventory.mostValuable().get())).append(nl);
    }
    CRC32 crc = new CRC32();
    crc.update(summary.getBytes(StandardCharsets.UTF_8));
    crc.update(String.join(",", inventory.slugs()).getBytes(StandardCharsets.UTF_8));
    out.append(String.format(Locale.ROOT, "summary %d categories, crc32 %08x%n",
        byCategory.size(), crc.getValue()));
    return out.toString();
  }
}
