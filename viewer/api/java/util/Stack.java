package java.util;

public class Stack extends Vector {
    public Stack() {}
    public native Object push(Object item);
    public native Object pop();
    public native Object peek();
    public native boolean empty();
    public native int search(Object o);
}
