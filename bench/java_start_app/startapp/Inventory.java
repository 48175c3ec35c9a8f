package startapp;

import java.math.BigDecimal;
import java.time.LocalDate;
import java.util.Comparator;
import java.util.IntSummaryStatistics;
import java.util.List;
import java.util.Map;
import java.util.Optional;
import java.util.TreeMap;
import java.util.stream.Collectors;

/** Figures over the stock list, made with collections and streams. */
final class Inventory {
  private final List<Item> items;

  Inventory(List<Item> items) {
    this.items = items.stream().filter(item -> SkuRules.valid(item.getSku()))
        .collect(Collectors.toList());
  }

  int size() {
    return items.size();
  }

  Map<String, BigDecimal> valueByCategory() {
    return items.stream().collect(Collectors.groupingBy(Item::getCategory, TreeMap::new,
        Collectors.reducing(BigDecimal.ZERO, Item::value, BigDecimal::add)));
  }

  BigDecimal totalValue() {
    return items.stream().map(Item::value).reduce(BigDecimal.ZERO, BigDecimal::add);
  }

  IntSummaryStatistics quantities() {
    return items.stream().mapToInt(Item::getQuantity).summaryStatistics();
  }

  Optional<Item> mostValuable() {
    return items.stream().max(Comparator.comparing(Item::value).thenComparing(Item::getSku));
  }

  LocalDate latestDelivery() {
    return items.stream().map(Item::getReceived).max(Comparator.naturalOrder())
        .orElse(LocalDate.MIN);
  }

  /** Stock numbers per prefix, in prefix order, e.g. "EL=3". */
  String prefixCounts() {
    return items.stream()
        .collect(Collectors.groupingBy(item -> SkuRules.prefix(item.getSku()), TreeMap::new,
            Collectors.counting()))
        .entrySet().stream().map(entry -> entry.getKey() + "=" + entry.getValue())
        .collect(Collectors.joining(" "));
  }

  List<String> measures() {
    return items.stream().flatMap(item -> SkuRules.measures(item.getName()).stream()).distinct()
        .sorted().collect(Collectors.toList());
  }

  List<String> slugs() {
    return items.stream().map(item -> SkuRules.slug(item.getName())).sorted()
        .collect(Collectors.toList());
  }
}
