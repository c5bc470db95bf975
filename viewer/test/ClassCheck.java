import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Set;
import java.util.TreeSet;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Collectors;
import java.util.stream.Stream;

/**
 * Reads the viewer's class files through `javap -v -c -p` and checks what a CLDC 1.0 phone
 * needs: class file version 45.3; a StackMap attribute (the preverifier's, not Java 6's
 * StackMapTable) in every method whose code branches or catches; no jsr/ret subroutines; no
 * floating point anywhere (constants, opcodes, descriptors); and references to no class
 * outside the CLDC 1.0 / MIDP 1.0 declarations in viewer/api and the checked classes themselves.
 *
 * Usage: java ClassCheck API-SOURCE-FOLDER JAVAP CLASS-FILE...
 */
public class ClassCheck {
    static int passed;
    static int failed;

    static void check(boolean ok, String what) {
        if (ok) {
            passed++;
        } else {
            failed++;
            System.out.println("FAIL: " + what);
        }
    }

    static final Pattern REFERENCE = Pattern.compile("L([A-Za-z0-9_/$]+);");
    static final Pattern OPCODE = Pattern.compile("^\\s+\\d+: ([a-z_0-9]+)\\b(.*)$");
    static final Pattern BRANCH = Pattern.compile("^(if\\w*|goto(_w)?|tableswitch|lookupswitch)$");
    static final Pattern FLOATING = Pattern.compile("^([fd](load|store|const|add|sub|mul|div|rem|neg|cmp|aload|astore|return)\\w*|[il]2[fd]|[fd]2[ild]|[fd]2[fd])$");

    public static void main(String[] args) throws Exception {
        Path api = Path.of(args[0]);
        String javap = args[1];
        Set<String> known = new TreeSet<>();
        try (Stream<Path> files = Files.walk(api)) {
            for (Path p : files.filter(f -> f.toString().endsWith(".java")).collect(Collectors.toList())) {
                String name = api.relativize(p).toString().replace(File.separatorChar, '/');
                known.add(name.substring(0, name.length() - ".java".length()));
            }
        }
        for (int i = 2; i < args.length; i++) {
            String name = new File(args[i]).getName();
            known.add(name.substring(0, name.length() - ".class".length()));
        }
        check(known.contains("java/lang/Object") && known.contains("javax/microedition/lcdui/Canvas"), "the declarations are found in " + api);
        for (int i = 2; i < args.length; i++) checkClass(javap, args[i], known);
        System.out.println(passed + " passed, " + failed + " failed");
        System.exit(failed == 0 ? 0 : 1);
    }

    static List<String> javap(String javap, String file) throws IOException, InterruptedException {
        Process p = new ProcessBuilder(javap, "-v", "-c", "-p", file).redirectErrorStream(true).start();
        String out = new String(p.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
        if (p.waitFor() != 0) throw new IOException("javap failed on " + file + ":\n" + out);
        return List.of(out.split("\n"));
    }

    /** Class names in a descriptor or signature text. */
    static List<String> references(String text) {
        List<String> names = new ArrayList<>();
        Matcher m = REFERENCE.matcher(text);
        while (m.find()) names.add(m.group(1));
        return names;
    }

    /** Whether a field or method descriptor uses float or double outside class names. */
    static boolean floatingType(String descriptor) {
        String bare = descriptor.replaceAll("L[^;]*;", "");
        return bare.indexOf('F') >= 0 || bare.indexOf('D') >= 0;
    }

    static void checkClass(String javap, String file, Set<String> known) throws Exception {
        String cls = new File(file).getName();
        List<String> lines = javap(javap, file);
        check(lines.stream().anyMatch(l -> l.trim().equals("major version: 45")), cls + " declares major version 45");
        check(lines.stream().anyMatch(l -> l.trim().equals("minor version: 3")), cls + " declares minor version 3");
        check(lines.stream().noneMatch(l -> l.contains("StackMapTable")), cls + " carries no StackMapTable (the CLDC StackMap form only)");

        Set<String> referenced = new TreeSet<>();
        List<String> floating = new ArrayList<>();
        for (String l : lines) {
            String t = l.trim();
            if (!t.startsWith("#")) continue;
            if (t.matches("#\\d+ = (Float|Double) .*")) floating.add(t);
            int comment = t.indexOf("// ");
            if (t.matches("#\\d+ = Class .*") && comment > 0) {
                String name = t.substring(comment + 3).replace("\"", "");
                if (name.startsWith("[")) referenced.addAll(references(name));
                else referenced.add(name);
            } else if (t.matches("#\\d+ = (Methodref|Fieldref|InterfaceMethodref) .*") && comment > 0) {
                String member = t.substring(comment + 3);
                String descriptor = member.substring(member.indexOf(':') + 1);
                referenced.add(member.substring(0, member.lastIndexOf('.', member.indexOf(':'))));
                referenced.addAll(references(descriptor));
                if (floatingType(descriptor)) floating.add(member);
            }
        }
        for (String l : lines) {
            String t = l.trim();
            if (t.startsWith("descriptor: ")) {
                referenced.addAll(references(t));
                if (floatingType(t.substring(12))) floating.add(t);
            }
        }
        check(floating.isEmpty(), cls + " has no float or double constant, member or descriptor: " + floating);
        check(!referenced.isEmpty(), cls + " references classes at all");
        List<String> foreign = new ArrayList<>();
        for (String name : referenced)
            if (!known.contains(name)) foreign.add(name);
        check(foreign.isEmpty(), cls + " references only classes CLDC 1.0 / MIDP 1.0 declare; not: " + foreign);

        // Members: blocks separated by blank lines inside the class body.
        List<List<String>> members = new ArrayList<>();
        List<String> block = new ArrayList<>();
        for (String l : lines) {
            if (l.isBlank()) {
                if (!block.isEmpty()) members.add(block);
                block = new ArrayList<>();
            } else {
                block.add(l);
            }
        }
        if (!block.isEmpty()) members.add(block);
        int methods = 0;
        int withStackMap = 0;
        for (List<String> member : members) {
            if (member.stream().noneMatch(l -> l.trim().equals("Code:"))) continue;
            methods++;
            String head = member.get(0).trim();
            boolean branches = member.stream().anyMatch(l -> l.trim().equals("Exception table:"));
            List<String> banned = new ArrayList<>();
            for (String l : member) {
                Matcher m = OPCODE.matcher(l);
                if (!m.matches()) continue;
                String op = m.group(1);
                if (BRANCH.matcher(op).matches()) branches = true;
                if (op.equals("jsr") || op.equals("jsr_w") || op.equals("ret") || FLOATING.matcher(op).matches()
                        || (op.equals("newarray") && (m.group(2).contains("float") || m.group(2).contains("double"))))
                    banned.add(l.trim());
            }
            check(banned.isEmpty(), cls + " " + head + " has no subroutine or floating-point instruction: " + banned);
            boolean stackMap = member.stream().anyMatch(l -> l.trim().startsWith("StackMap: number_of_entries"));
            if (stackMap) withStackMap++;
            if (branches) check(stackMap, cls + " " + head + " branches, so it carries a StackMap");
        }
        check(methods > 0, cls + " has methods with code");
        System.out.println(cls + ": " + methods + " methods with code, " + withStackMap + " with a StackMap, " + referenced.size() + " classes referenced");
    }
}
