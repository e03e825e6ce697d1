// A file chosen through the page's own file input. Inside the host this shows the desktop's
// open dialog; in a browser, the browser's.

export function chooseFile(accept: string): Promise<File | null> {
  return new Promise((resolve) => {
    const input = document.createElement('input');
    input.type = 'file';
    input.accept = accept;
    input.style.display = 'none';
    let settled = false;
    const finish = (file: File | null): void => {
      if (settled) return;
      settled = true;
      window.removeEventListener('focus', onFocus);
      input.remove();
      resolve(file);
    };
    // This engine has no "cancel" event on file inputs: focus coming back without a file means cancel.
    const onFocus = (): void => {
      window.setTimeout(() => {
        if (!input.files || input.files.length === 0) finish(null);
      }, 1000);
    };
    input.addEventListener('change', () => finish(input.files && input.files[0] ? input.files[0] : null));
    document.body.appendChild(input);
    window.addEventListener('focus', onFocus);
    input.click();
  });
}
