package java.io;

public class InputStreamReader extends Reader {
    public InputStreamReader(InputStream is) {}
    public InputStreamReader(InputStream is, String enc) throws UnsupportedEncodingException {}
    public native int read(char[] cbuf, int off, int len) throws IOException;
    public native void close() throws IOException;
}
