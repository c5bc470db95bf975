package java.io;

public class UnsupportedEncodingException extends IOException {
    public UnsupportedEncodingException() {}
    public UnsupportedEncodingException(String message) {}
}
