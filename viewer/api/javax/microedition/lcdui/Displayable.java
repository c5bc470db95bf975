package javax.microedition.lcdui;

public abstract class Displayable {
    Displayable() {}
    public native void addCommand(Command cmd);
    public native void removeCommand(Command cmd);
    public native boolean isShown();
    public native void setCommandListener(CommandListener l);
}
