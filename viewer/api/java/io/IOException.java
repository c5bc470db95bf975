package java.io;

public class IOException extends java.lang.Exception {
    public IOException() {}
    public IOException(String message) {}
}
