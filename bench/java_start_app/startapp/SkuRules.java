package startapp;

import java.util.ArrayList;
import java.util.List;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/** Stock-keeping numbers: two capital letters, a dash and four digits. */
final class SkuRules {
  private static final Pattern SKU = Pattern.compile("(?<prefix>[A-Z]{2})-(?<number>\\d{4})");
  private static final Pattern MEASURE =
      Pattern.compile("(\\d+(?:\\.\\d+)?)\\s*(mm|cm|m|l)\\b", Pattern.CASE_INSENSITIVE);

  private SkuRules() {}

  static boolean valid(String sku) {
    return SKU.matcher(sku).matches();
  }

  static String prefix(String sku) {
    Matcher matcher = SKU.matcher(sku);
    return matcher.matches() ? matcher.group("prefix") : "";
  }

  /** Every measure named in the text, normalised to "number unit". */
  static List<String> measures(String text) {
    List<String> found = new ArrayList<>();
    Matcher matcher = MEASURE.matcher(text);
    while (matcher.find()) {
      found.add(matcher.group(1) + " " + matcher.group(2).toLowerCase(java.util.Locale.ROOT));
    }
    return found;
  }

  static String slug(String name) {
    return name.toLowerCase(java.util.Locale.ROOT).replaceAll("[^a-z0-9]+", "-")
        .replaceAll("^-|-$", "");
  }
}
