package startapp;

import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.Arrays;
import java.util.Comparator;
import java.util.stream.Collectors;

/** Reads an object's properties through its public getters. */
final class Describer {
  private Describer() {}

  static String describe(Object bean) throws ReflectiveOperationException {
    Method[] methods = bean.getClass().getDeclaredMethods();
    Arrays.sort(methods, Comparator.comparing(Method::getName));
    StringBuilder text = new StringBuilder(bean.getClass().getSimpleName()).append('{');
    String separator = "";
    for (Method method : methods) {
      if (!Modifier.isPublic(method.getModifiers()) || method.getParameterCount() != 0
          || !method.getName().startsWith("get")) {
        continue;
      }
      String property = Character.toLowerCase(method.getName().charAt(3))
          + method.getName().substring(4);
      text.append(separator).append(property).append('=').append(method.invoke(bean));
      separator = ", ";
    }
    return text.append('}').toString();
  }

  static String getterNames(Class<?> type) {
    return Arrays.stream(type.getMethods()).filter(m -> m.getDeclaringClass() == type)
        .map(Method::getName).filter(name -> name.startsWith("get")).sorted()
        .collect(Collectors.joining(","));
  }
}
