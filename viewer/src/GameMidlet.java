import javax.microedition.lcdui.Display;
import javax.microedition.midlet.MIDlet;

/**
 * The comic book's MIDlet: the phone's application manager starts it by the name the
 * manifest's "MIDlet-1" line gives. All the reading happens on its one canvas.
 */
public class GameMidlet extends MIDlet {
    private a reader;

    public GameMidlet() {
    }

    protected void startApp() {
        // Called again after every pause: the reader keeps its page.
        if (reader == null) {
            reader = new a(this);
        }
        Display.getDisplay(this).setCurrent(reader);
    }

    protected void pauseApp() {
    }

    protected void destroyApp(boolean unconditional) {
    }

    /** Leaves the book, as the exit command asks. */
    void quit() {
        destroyApp(true);
        notifyDestroyed();
    }
}
