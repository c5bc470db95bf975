package java.io;

public class UTFDataFormatException extends IOException {
    public UTFDataFormatException() {}
    public UTFDataFormatException(String message) {}
}
