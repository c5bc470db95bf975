package java.util;

public abstract class TimerTask implements Runnable {
    protected TimerTask() {}
    public abstract void run();
    public native boolean cancel();
    public native long scheduledExecutionTime();
}
