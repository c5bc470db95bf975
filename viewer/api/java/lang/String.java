package java.lang;

public final class String {
    public String() {}
    public String(String value) {}
    public String(char[] value) {}
    public String(char[] value, int offset, int count) {}
    public String(byte[] bytes, int off, int len, String enc) throws java.io.UnsupportedEncodingException {}
    public String(byte[] bytes, String enc) throws java.io.UnsupportedEncodingException {}
    public String(byte[] bytes, int off, int len) {}
    public String(byte[] bytes) {}
    public String(StringBuffer buffer) {}
    public native int length();
    public native char charAt(int index);
    public native void getChars(int srcBegin, int srcEnd, char[] dst, int dstBegin);
    public native byte[] getBytes(String enc) throws java.io.UnsupportedEncodingException;
    public native byte[] getBytes();
    public native boolean equals(Object anObject);
    public native int compareTo(String anotherString);
    public native boolean regionMatches(boolean ignoreCase, int toffset, String other, int ooffset, int len);
    public native boolean startsWith(String prefix, int toffset);
    public native boolean startsWith(String prefix);
    public native boolean endsWith(String suffix);
    public native int hashCode();
    public native int indexOf(int ch);
    public native int indexOf(int ch, int fromIndex);
    public native int lastIndexOf(int ch);
    public native int lastIndexOf(int ch, int fromIndex);
    public native int indexOf(String str);
    public native int indexOf(String str, int fromIndex);
    public native String substring(int beginIndex);
    public native String substring(int beginIndex, int endIndex);
    public native String concat(String str);
    public native String replace(char oldChar, char newChar);
    public native String toLowerCase();
    public native String toUpperCase();
    public native String trim();
    public native String toString();
    public native char[] toCharArray();
    public static native String valueOf(Object obj);
    public static native String valueOf(char[] data);
    public static native String valueOf(char[] data, int offset, int count);
    public static native String valueOf(boolean b);
    public static native String valueOf(char c);
    public static native String valueOf(int i);
    public static native String valueOf(long l);
}
