package app;

// The Java application that the end-to-end tests launch: prints what it
// received so a test can check the command line the launcher built.
public final class Main {
  public static void main(String[] args) throws Exception {
    int exit = 0;
    for (String a : args) {
      System.out.println("JAVA-ARG=" + a);
      if (a.startsWith("--exit=")) exit = Integer.parseInt(a.substring(7));
      // Loads a class by name (an old class file makes some runtimes warn).
      if (a.startsWith("--load=")) Class.forName(a.substring(7));
      // Removes a folder and what it holds, as a user may while it runs.
      if (a.startsWith("--remove=")) remove(new java.io.File(a.substring(9)));
      if (a.startsWith("--sleep=")) Thread.sleep(Long.parseLong(a.substring(8)));
    }
    System.out.println("JAVA-PROP mode=" + System.getProperty("mode"));
    System.out.println("JAVA-CP-LENGTH=" + System.getProperty("java.class.path").length());
    System.out.println("JAVA-CWD=" + System.getProperty("user.dir"));
    System.err.println("JAVA-ERR done");
    System.exit(exit);
  }

  private static void remove(java.io.File file) {
    java.io.File[] inside = file.listFiles();
    if (inside != null) {
      for (java.io.File f : inside) remove(f);
    }
    file.delete();
  }
}
