// Lets the page paint and handle input in the middle of a long job. A message to itself comes
// back at once, where a zero timeout from inside a timer waits at least 4 ms, and a job yields
// a few hundred times.

export function yieldToPage(): Promise<void> {
  return new Promise((resolve) => {
    const channel = new MessageChannel();
    channel.port1.onmessage = () => {
      channel.port1.close();
      resolve();
    };
    channel.port2.postMessage(null);
  });
}
