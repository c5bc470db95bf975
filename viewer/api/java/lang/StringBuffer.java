package java.lang;

public final class StringBuffer {
    public StringBuffer() {}
    public StringBuffer(int length) {}
    public StringBuffer(String str) {}
    public native int length();
    public native int capacity();
    public native void ensureCapacity(int minimumCapacity);
    public native void setLength(int newLength);
    public native char charAt(int index);
    public native void getChars(int srcBegin, int srcEnd, char[] dst, int dstBegin);
    public native void setCharAt(int index, char ch);
    public native StringBuffer append(Object obj);
    public native StringBuffer append(String str);
    public native StringBuffer append(char[] str);
    public native StringBuffer append(char[] str, int offset, int len);
    public native StringBuffer append(boolean b);
    public native StringBuffer append(char c);
    public native StringBuffer append(int i);
    public native StringBuffer append(long l);
    public native StringBuffer delete(int start, int end);
    public native StringBuffer deleteCharAt(int index);
    public native StringBuffer insert(int offset, Object obj);
    public native StringBuffer insert(int offset, String str);
    public native StringBuffer insert(int offset, char[] str);
    public native StringBuffer insert(int offset, boolean b);
    public native StringBuffer insert(int offset, char c);
    public native StringBuffer insert(int offset, int i);
    public native StringBuffer insert(int offset, long l);
    public native StringBuffer reverse();
    public native String toString();
}
