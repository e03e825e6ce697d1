// Connects to the desktop host when there is one; in a plain browser it says so.
(function () {
  'use strict';

  function showStatus(text, connected) {
    var status = document.getElementById('status');
    status.textContent = text;
    status.className = connected ? 'connected' : '';
  }

  function start() {
    var transport = window.qt && window.qt.webChannelTransport;
    if (typeof QWebChannel === 'undefined' || !transport) {
      showStatus('未检测到桌面程序：当前在普通浏览器中运行。', false);
      window.quillmarkReady = true;
      return;
    }
    new QWebChannel(transport, function (channel) {
      window.quillmarkBridge = channel.objects.desktopBridge;
      showStatus('已连接桌面程序。', true);
      performance.mark('quillmark-ready');
      window.quillmarkReady = true;
    });
  }

  document.addEventListener('DOMContentLoaded', start);
})();
