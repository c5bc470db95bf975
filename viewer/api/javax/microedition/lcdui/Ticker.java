package javax.microedition.lcdui;

public class Ticker {
    public Ticker(String str) {}
    public native void setString(String str);
    public native String getString();
}
