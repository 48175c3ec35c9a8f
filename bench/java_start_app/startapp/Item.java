package startapp;

import java.math.BigDecimal;
import java.time.LocalDate;

/** One line of the stock list, as read from the catalogue document. */
public final class Item {
  private final String sku;
  private final String name;
  private final String category;
  private final int quantity;
  private final BigDecimal unitPrice;
  private final LocalDate received;

  public Item(String sku, String name, String category, int quantity, BigDecimal unitPrice,
      LocalDate received) {
    this.sku = sku;
    this.name = name;
    this.category = category;
    this.quantity = quantity;
    this.unitPrice = unitPrice;
    this.received = received;
  }

  public String getSku() {
    return sku;
  }

  public String getName() {
    return name;
  }

  public String getCategory() {
    return category;
  }

  public int getQuantity() {
    return quantity;
  }

  public BigDecimal getUnitPrice() {
    return unitPrice;
  }

  public LocalDate getReceived() {
    return received;
  }

  public BigDecimal value() {
    return unitPrice.multiply(BigDecimal.valueOf(quantity));
  }
}
