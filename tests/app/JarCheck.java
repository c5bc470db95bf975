// Opens a generated MIDlet suite with Java's own JAR classes and checks what a phone's
// installer relies on. Usage: java JarCheck.java BOOK.jar PAGES
import java.io.FileInputStream;
import java.util.Collections;
import java.util.List;
import java.util.jar.Attributes;
import java.util.jar.JarFile;
import java.util.jar.JarInputStream;
import java.util.jar.Manifest;
import java.util.stream.Collectors;

public class JarCheck {
    static void check(boolean ok, String what) {
        if (!ok) {
            System.err.println("JarCheck: " + what);
            System.exit(1);
        }
    }

    static String hex(String text) {
        StringBuilder out = new StringBuilder();
        for (byte b : text.getBytes(java.nio.charset.StandardCharsets.UTF_8)) out.append(String.format("%02x", b & 0xff));
        return out.toString();
    }

    public static void main(String[] args) throws Exception {
        int pages = Integer.parseInt(args[1]);
        try (JarFile jar = new JarFile(args[0])) {
            List<String> names = Collections.list(jar.entries()).stream().map(e -> e.getName()).collect(Collectors.toList());
            check(names.size() == pages + 6, "entry count " + names);
            for (int i = 0; i < pages; i++) check(names.contains(i + ".png"), "missing " + i + ".png");
            for (String t : new String[] {"a.class", "GameMidlet.class", "logo1.png", "icon.png", "desc.txt", "META-INF/MANIFEST.MF"})
                check(names.contains(t), "missing " + t);
            Manifest m = jar.getManifest();
            check(m != null, "JarFile finds no manifest");
            check("GameMidlet".equals(m.getMainAttributes().getValue("MIDlet-1").replaceAll(".*, ", "")), "MIDlet-1");
        }
        try (JarInputStream in = new JarInputStream(new FileInputStream(args[0]))) {
            Manifest m = in.getManifest();
            check(m != null, "JarInputStream finds no manifest");
            Attributes a = m.getMainAttributes();
            check("MIDP-1.0".equals(a.getValue("MicroEdition-Profile")), "profile");
            check("CLDC-1.0".equals(a.getValue("MicroEdition-Configuration")), "configuration");
            System.out.println("MIDlet-Name: " + a.getValue("MIDlet-Name"));
            // the values' UTF-8 bytes in hex, whatever the console's encoding
            for (String key : new String[] {"MIDlet-Name", "MIDlet-1"})
                System.out.println(key + " UTF-8: " + hex(a.getValue(key)));
        }
    }
}
