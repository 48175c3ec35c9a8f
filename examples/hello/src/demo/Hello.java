package demo;

import java.util.Arrays;

/** A small Java application shipped with a Kestrelbay launcher. */
public final class Hello {
  public static void main(String[] args) throws Exception {
    String greeting = System.getProperty("greeting", "Hello");
    String name = args.length > 0 ? String.join(" ", args) : "nobody";
    System.out.println(greeting + ", " + name + "!");
    System.out.println("Java " + System.getProperty("java.version")
        + ", max heap " + Runtime.getRuntime().maxMemory() / (1024 * 1024) + " MiB");
    System.out.println("working folder: " + System.getProperty("user.dir"));
    System.out.println("arguments: " + Arrays.toString(args));
    for (int i = 1; i <= 3; i++) {
      System.out.println("working... step " + i + " of 3");
      Thread.sleep(100);
    }
    System.err.println("(a line on standard error, relayed as well)");
    System.exit(0);
  }
}
