#!/usr/bin/env bash
# The boot class path is the guard against APIs a CLDC 1.0 / MIDP 1.0 phone lacks: each probe
# below uses one thing that only Java SE, CLDC 1.1 or MIDP 2.0 offer and must fail to compile
# the way build.sh compiles the viewer; the control probe, using what the phones do offer,
# must compile.
# Usage: api-boundary.sh WORK-FOLDER
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
work="$1"
ECJ="${ECJ:-ecj}"
rm -rf "$work" && mkdir -p "$work/api" "$work/probe"
(cd "$here/api" && find . -name '*.java' | LC_ALL=C sort > "$work/api.list" &&
    "$ECJ" -1.3 -target cldc1.1 -g:none -nowarn -bootclasspath "$work/api" -d "$work/api" @"$work/api.list") || exit 1

# probe NAME EXPECT(ok|fail) BODY: a class whose method run(Canvas c, Graphics g, MIDlet m) holds
# BODY. All probes are compiled in one run of ecj, which names every file it finds an error in.
names=()
expects=()
probe() {
    local name="$1" class="P_${#names[@]}"
    names+=("$1")
    expects+=("$2")
    cat > "$work/probe/$class.java" <<JAVA
import javax.microedition.lcdui.*;
import javax.microedition.midlet.MIDlet;
import javax.microedition.rms.*;
import java.io.*;
import java.util.*;
public class $class {
    Object run(Canvas c, Graphics g, MIDlet m) throws Exception {
        $3
        return null;
    }
}
JAVA
}

probe control ok '
    Image i = Image.createImage("/0.png");
    g.setColor(0x102030); g.fillRect(0, 0, c.getWidth(), c.getHeight());
    g.drawImage(i, 0, 0, Graphics.TOP | Graphics.LEFT);
    Font f = Font.getFont(Font.FACE_SYSTEM, Font.STYLE_BOLD, Font.SIZE_SMALL);
    g.setFont(f); g.drawString("x" + f.stringWidth("abc"), c.getWidth() / 2, 0, Graphics.TOP | Graphics.HCENTER);
    int a = c.getGameAction(Canvas.KEY_NUM2) + Math.max(1, Math.abs(-3));
    InputStream in = getClass().getResourceAsStream("/desc.txt"); in.close();
    Vector v = new Vector(); v.addElement(new Integer(a)); Hashtable h = new Hashtable(); h.put("k", v);
    StringBuffer b = new StringBuffer(); b.append(Integer.parseInt("12")).append(System.currentTimeMillis());
    Display.getDisplay(m).setCurrent(new Form("t"));
    RecordStore.openRecordStore("s", true).closeRecordStore();
    System.gc(); Thread.sleep(1); m.notifyDestroyed();'
probe se-collections fail 'List l = new ArrayList();'
probe float-math fail 'int r = (int) Math.sqrt(2);'
probe float-class fail 'return Float.valueOf("1.5");'
probe double-class fail 'return new Double(1);'
probe string-format fail 'return String.format("%d", new Object[] {new Integer(1)});'
probe cldc11-equalsIgnoreCase fail 'return new Boolean("a".equalsIgnoreCase("A"));'
probe cldc11-intern fail 'return "a".intern();'
probe cldc11-weak-reference fail 'return new java.lang.ref.WeakReference(m);'
probe cldc11-thread-name fail 'return Thread.currentThread().getName();'
probe se-string-split fail 'return "a b".split(" ");'
probe se-stringbuilder fail 'return new StringBuilder();'
probe se-buffered-reader fail 'return new BufferedReader(new InputStreamReader(null));'
probe se-file fail 'return new File("x");'
probe se-object-clone fail 'return m.clone();'
probe midp2-fullscreen fail 'c.setFullScreenMode(true);'
probe midp2-displayable-width fail 'return new Integer(new Form("t").getWidth());'
probe midp2-draw-rgb fail 'g.drawRGB(new int[1], 0, 1, 0, 0, 1, 1, false);'
probe midp2-draw-region fail 'g.drawRegion(null, 0, 0, 1, 1, 0, 0, 0, 0);'
probe midp2-rgb-image fail 'return Image.createRGBImage(new int[1], 1, 1, false);'
probe midp2-get-rgb fail 'Image.createImage(1, 1).getRGB(new int[1], 0, 1, 0, 0, 1, 1);'
probe midp2-vibrate fail 'Display.getDisplay(m).vibrate(100);'
probe midp2-game-canvas fail 'return javax.microedition.lcdui.game.GameCanvas.class;'
probe midp2-platform-request fail 'm.platformRequest("http://x");'
probe midp2-fill-triangle fail 'g.fillTriangle(0, 0, 1, 1, 2, 0);'
probe midp2-media fail 'return javax.microedition.media.Manager.createPlayer("x");'
probe midp2-custom-item fail 'return new CustomItem("x") {};'

"$ECJ" -1.3 -target cldc1.1 -g:none -nowarn -proceedOnError -bootclasspath "$work/api" -d "$work/classes" \
    "$work"/probe/*.java > "$work/log" 2>&1
passed=0
failed=0
for i in "${!names[@]}"; do
    if grep -q "ERROR in $work/probe/P_$i.java" "$work/log"; then got=fail; else got=ok; fi
    if [ "$got" = "${expects[$i]}" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: probe ${names[$i]} (P_$i.java) compiled: $got, expected: ${expects[$i]}"
    fi
done
[ "$failed" -eq 0 ] || cat "$work/log"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
