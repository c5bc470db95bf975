package java.lang;

public final class Short {
    public static final short MIN_VALUE = -32768;
    public static final short MAX_VALUE = 32767;
    public Short(short value) {}
    public static native short parseShort(String s) throws NumberFormatException;
    public static native short parseShort(String s, int radix) throws NumberFormatException;
    public native short shortValue();
    public native String toString();
    public native int hashCode();
    public native boolean equals(Object obj);
}
