package java.io;

public class OutputStreamWriter extends Writer {
    public OutputStreamWriter(OutputStream os) {}
    public OutputStreamWriter(OutputStream os, String enc) throws UnsupportedEncodingException {}
    public native void write(char[] cbuf, int off, int len) throws IOException;
    public native void flush() throws IOException;
    public native void close() throws IOException;
}
