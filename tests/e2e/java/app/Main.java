package app;

// The Java application that the end-to-end tests launch: prints what it
// received so a test can check the command line the launcher built.
public final class Main {
  public static void main(String[] args) {
    int exit = 0;
    for (String a : args) {
      System.out.println("JAVA-ARG=" + a);
      if (a.startsWith("--exit=")) exit = Integer.parseInt(a.substring(7));
    }
    System.out.println("JAVA-PROP mode=" + System.getProperty("mode"));
    System.out.println("JAVA-CP-LENGTH=" + System.getProperty("java.class.path").length());
    System.out.println("JAVA-CWD=" + System.getProperty("user.dir"));
    System.err.println("JAVA-ERR done");
    System.exit(exit);
  }
}
