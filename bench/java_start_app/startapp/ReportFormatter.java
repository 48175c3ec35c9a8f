package startapp;

import java.math.BigDecimal;
import java.text.DecimalFormat;
import java.text.DecimalFormatSymbols;
import java.text.MessageFormat;
import java.text.NumberFormat;
import java.time.LocalDate;
import java.time.ZoneId;
import java.time.ZonedDateTime;
import java.time.format.DateTimeFormatter;
import java.time.format.FormatStyle;
import java.time.temporal.ChronoUnit;
import java.util.Currency;
import java.util.IntSummaryStatistics;
import java.util.Locale;

/** Text for people: amounts, dates and counts in fixed locales. */
final class ReportFormatter {
  // A fixed moment and fixed locales keep the output the same on every
  // machine and every run.
  private static final ZonedDateTime REPORT_TIME =
      ZonedDateTime.of(2024, 7, 1, 9, 30, 0, 0, ZoneId.of("Europe/Berlin"));

  private ReportFormatter() {}

  static String money(BigDecimal amount, Locale locale) {
    NumberFormat format = NumberFormat.getCurrencyInstance(locale);
    format.setCurrency(Currency.getInstance("EUR"));
    return format.format(amount);
  }

  static String header(String title, int items) {
    String when = REPORT_TIME.format(
        DateTimeFormatter.ofLocalizedDateTime(FormatStyle.MEDIUM).withLocale(Locale.UK));
    return MessageFormat.format("{0}: {1,number,integer} items, {2}", title, items, when);
  }

  static String quantities(IntSummaryStatistics stats) {
    DecimalFormat format = new DecimalFormat("#,##0.0", DecimalFormatSymbols.getInstance(Locale.US));
    return String.format(Locale.ROOT, "quantities: min %d, max %,d, mean %s", stats.getMin(),
        stats.getMax(), format.format(stats.getAverage()));
  }

  static String age(LocalDate latest) {
    long days = ChronoUnit.DAYS.between(latest, REPORT_TIME.toLocalDate());
    return String.format(Locale.ROOT, "latest delivery %s (%d days before the report)",
        latest.format(DateTimeFormatter.ofPattern("EEEE d MMMM uuuu", Locale.US)), days);
  }
}
