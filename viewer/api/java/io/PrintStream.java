package java.io;

public class PrintStream extends OutputStream {
    public PrintStream(OutputStream out) {}
    public native void write(int b);
    public native boolean checkError();
    public native void print(boolean b);
    public native void print(char c);
    public native void print(int i);
    public native void print(long l);
    public native void print(char[] s);
    public native void print(String s);
    public native void print(Object obj);
    public native void println();
    public native void println(boolean x);
    public native void println(char x);
    public native void println(int x);
    public native void println(long x);
    public native void println(char[] x);
    public native void println(String x);
    public native void println(Object x);
}
