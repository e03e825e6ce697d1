// The PDF writer's bundle, loaded when the first PDF is made (see util/bundles.ts).
export { jsPDF } from 'jspdf';
