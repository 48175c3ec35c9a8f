// Says whether the runtime found a console, and whether it calls it a
// terminal (Java 22 and later; "n/a" before). With "password" it reads one
// with Console.readPassword and prints only its length and a checksum, so
// that the word itself never reaches the output.
public class ConsoleProbe {
  public static void main(String[] args) throws Exception {
    java.io.Console console = System.console();
    String terminal = "n/a";
    if (console != null) {
      try {
        terminal = String.valueOf(console.getClass().getMethod("isTerminal").invoke(console));
      } catch (NoSuchMethodException e) {
        // before Java 22
      }
    }
    System.out.println("CONSOLE=" + (console != null ? "present" : "null") + " TERMINAL=" + terminal);
    if (args.length > 0 && args[0].equals("password") && console != null) {
      char[] word = console.readPassword("Password: ");
      int sum = 0;
      if (word != null) for (char c : word) sum += c;
      System.out.println("LENGTH=" + (word == null ? -1 : word.length) + " SUM=" + sum);
    }
  }
}
