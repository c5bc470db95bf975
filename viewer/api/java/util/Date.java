package java.util;

public class Date {
    public Date() {}
    public Date(long date) {}
    public native long getTime();
    public native void setTime(long time);
    public native boolean equals(Object obj);
    public native int hashCode();
}
